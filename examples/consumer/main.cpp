// A host built against the installed libraries: it describes one class with one
// field, looks the field up by its qualified name and prints what it found and
// the library's version.
#include <kymetamodel.h>
#include <kyversion.h>

#include <iostream>

using namespace ky::metamodel;

int main() {
    try {
        refPtr<modelInfo> model = modelInfo::createModelInfo(false);
        refPtr<classInfo> person = model->createClassInfo(_T("Person"), false);
        person->createFieldInfo(_T("name"), eString, ky::genericSet(), _T(""));

        refPtr<fieldInfo> found = model->fieldInfo(_T("PERSON.Name"), true);
        if (!found) {
            std::cerr << "consumer: the field was not found\n";
            return 1;
        }
        std::cout << "found field: " << found->qualifiedName().toUtf8() << "\n";
        std::cout << "voVerizezav " << ky::versionString() << "\n";
    } catch (bool) {
        std::cerr << "consumer: a precondition was broken\n";
        return 1;
    }
    return 0;
}
