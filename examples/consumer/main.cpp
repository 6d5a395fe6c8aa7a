// A host built against the installed libraries: it describes one class with one
// field, looks the field up by its qualified name, loads a small model file
// through the model-file library, and prints what it found and the library's
// version.
#include <kymdlfile.h>
#include <kymetamodel.h>
#include <kyversion.h>

#include <iostream>

using namespace ky::metamodel;

namespace {

// The same class, described as a model file.
bool loadModelFile(const refPtr<modelInfo>& built) {
    const file::loadResult loaded = file::loadModelText(
        "classes:\n  - name: Person\n    fields:\n      - { name: name, type: string }\n", _T("person.yaml"));
    for (const file::diagnostic& d : loaded.diagnostics) std::cerr << d.text().toUtf8() << "\n";
    if (!loaded.model || !file::equalModels(built, loaded.model)) {
        std::cerr << "consumer: the model file did not load to the same model\n";
        return false;
    }
    std::cout << "model file: " << loaded.model->countClasses() << " class, equal to the built model\n";
    return true;
}

}  // namespace

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
        if (!loadModelFile(model)) return 1;
        std::cout << "voVerizezav " << ky::versionString() << "\n";
    } catch (bool) {
        std::cerr << "consumer: a precondition was broken\n";
        return 1;
    }
    return 0;
}
