#include <kymetamodel.h>

#include <iostream>

using namespace ky::metamodel;

int main() {
    // Each assertion report comes here before the broken call throws false.
    ky::setAssertHandler([](const ky::string& report) { std::cerr << report.toUtf8() << "\n"; });
    try {
        refPtr<modelInfo> model = modelInfo::createModelInfo(false);
        refPtr<classInfo> person = model->createClassInfo(_T("Person"), false);
        person->createFieldInfo(_T("name"), eString, ky::genericSet(), _T(""));

        refPtr<fieldInfo> f = model->fieldInfo(_T("PERSON.Name"), true);
        f->setLabel(_T("Name"));
        std::cout << f->qualifiedName().toUtf8() << ": " << f->label().toUtf8() << "\n";
    } catch (bool) {
        // a broken precondition: reported through the assertion handler,
        // then thrown as a bool
        return 1;
    }
    return 0;
}
