#include "screens/Wizard.h"

#include "screens/Form1.h"
#include "screens/Form2.h"
#include "screens/Form3.h"
#include "shell/Main.h"

#include <QCoreApplication>

// The pictures are compiled into this library; register them once.
static void initResources() { Q_INIT_RESOURCE(resources); }

namespace screens {

Wizard::Wizard(platform::Platform& platform) : platform_(platform) { initResources(); }

Wizard::~Wizard() = default;

void Wizard::start() {
    Form1& first = form1();
    if (!first.handedOver()) first.window().show();
}

Form1& Wizard::form1() {
    if (!form1_) {
        form1_ = std::make_unique<Form1>(*this);
        form1_->Form_Load();
    }
    return *form1_;
}

Form2& Wizard::form2() {
    if (!form2_) {
        form2_ = std::make_unique<Form2>(*this);
        form2_->Form_Load();
    }
    return *form2_;
}

Form3& Wizard::form3() {
    if (!form3_) {
        form3_ = std::make_unique<Form3>(*this);
        form3_->Form_Load();
    }
    return *form3_;
}

void Wizard::SetApplicationTitle(const QString& productName) {
    applicationTitle_ = shell::ApplicationTitleFor(productName);
    QCoreApplication::setApplicationName(applicationTitle_);
}

void Wizard::message(const QString& text) {
    platform_.messages.show(text, applicationTitle_, platform::Buttons::Ok);
}

QIcon Wizard::applicationIcon() const { return QIcon(QStringLiteral(":/vellomar.png")); }

QString Wizard::programFile(const QString& name) const {
    return platform_.process.dataFolder() + "/" + name;
}

}  // namespace screens
