#include "gui/app/TSplashForm.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

#include <algorithm>

namespace cantorel {

namespace {
QLabel* centredLabel(QWidget* parent, const char* name, int top)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(7, top, 368, 17);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    return label;
}
} // namespace

TSplashForm::TSplashForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName("SplashForm");
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(383, 69);
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(0, 0, 383, 69);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(2);
    Label1 = centredLabel(Panel1, "Label1", 12);
    Label2 = centredLabel(Panel1, "Label2", 29);
    pb = new QProgressBar(Panel1);
    pb->setObjectName("pb");
    pb->setGeometry(10, 48, 364, 13);
    pb->setRange(0, 100);
    pb->setValue(0);
    pb->setTextVisible(false);
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TSplashForm::repaintNow()
{
    if (sinceRepaint_.isValid() && sinceRepaint_.elapsed() < 50)
        return;
    sinceRepaint_.start();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace cantorel

namespace cantorel {

void TSplashForm::setStatus(const std::string& text)
{
    Label2->setText(QString::fromStdString(text));
    repaintNow();
}

void TSplashForm::setMaximum(int maximum)
{
    // A range of 0 to 0 would show a busy bar; an empty one is meant.
    pb->setRange(0, std::max(maximum, 1));
}

void TSplashForm::setPosition(int position) { pb->setValue(position); }

} // namespace cantorel
