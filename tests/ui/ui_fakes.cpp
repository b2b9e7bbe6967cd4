#include "ui_fakes.h"

#include "ui/forms.h"
#include "ui/main_window/form1.h"
#include "ui/splash/frm_splash.h"

TestProgram::TestProgram(MemoryStore *sharedStore) : store(sharedStore ? *sharedStore : ownStore)
{
    ProgramServices services{&settings, &registry, &volumes, &messages, &shell, &tray};
    forms = std::make_unique<Forms>(services);
}

TestProgram::~TestProgram() = default;

Form1 &TestProgram::form1()
{
    return forms->form1();
}

void TestProgram::start()
{
    form1().Form_Load();
    if (frmSplash *splash = forms->ifLoaded<frmSplash>())
        splash->Timer1_Timer();
}
