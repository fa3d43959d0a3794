#include "application.h"
#include "mainform.h"

int main(int argc, char* argv[]) {
    Application::prepare();
    Application app(argc, argv);
    TMainForm form;
    form.show();
    return app.exec();
}
