#include "core/config/Configuration.h"
#include "core/player/TMPEGPlayer.h"

#include "gui/Controls.h"
#include "gui/TestWindow.h"
#include "gui/app/TMainForm.h"
#include "gui/app/TSplashForm.h"
#include "gui/common/ErrorBox.h"
#include "gui/info/EditorPage.h"
#include "gui/info/InfoPages.h"
#include "gui/player/PlayerPanel.h"
#include "gui/player/TPosTracker.h"

#include "support/Outcomes.h"
#include "support/TempDir.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>

#include <gtest/gtest.h>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using namespace cantorel;
using cantorel::test::control;
using cantorel::test::TempDir;

namespace {

struct RecordingErrorBox : ErrorBox {
    struct Box {
        QString title, text, button;
    };
    std::vector<Box> boxes;
    void show(QWidget*, const QString& title, const QString& text, const QString& button) override
    {
        boxes.push_back({title, text, button});
    }
};

class MainFormTest : public ::testing::Test {
protected:
    std::unique_ptr<TMainForm> form(const std::string& ini)
    {
        config = test::configurationOf(ini, dir.path());
        return std::make_unique<test::TestWindow>(config, std::make_shared<RecordingErrorBox>());
    }
    TempDir dir;
    Configuration config;
};

QStringList tabTexts(const QTabWidget* pages)
{
    QStringList texts;
    for (int i = 0; i < pages->count(); ++i)
        texts << pages->tabText(i);
    return texts;
}

} // namespace

TEST_F(MainFormTest, CaptionsFromTheInterfaceStrings)
{
    auto f = form("WindowTitle = Cantorel test\nFilesBBS = descript.ion\nAllowEdit = yes\n"
                  "String4 = &Title\nString20 = Picture\nString21 = Text\nString22 = Info\nString23 = Edit\n"
                  "String26 = 'Line in '\nString27 = Idle\nString28 = Normal\nString29 = High\nString30 = Real\n");
    EXPECT_EQ(f->windowTitle(), "Cantorel test");
    EXPECT_EQ(tabTexts(f->pages()), (QStringList{"Picture", "Text", "Info", "Edit"}));
    EXPECT_EQ(f->pages()->currentIndex(), 0);
    EXPECT_EQ(control<QLabel>(*f, "lbName")->text(), "&Title");
    EXPECT_EQ(control<QLabel>(*f, "lbName")->buddy(), static_cast<QWidget*>(control<QLineEdit>(*f, "edName")));
    EXPECT_EQ(control<QLabel>(*f, "lbFilesBBS")->text(), "Line in descript.ion : ");
    EXPECT_EQ(control<QLabel>(*f, "lbArtist")->text(), "String6");
    EXPECT_EQ(control<QComboBox>(*f, "cbPriority")->count(), 4);
    EXPECT_EQ(control<QComboBox>(*f, "cbPriority")->itemText(0), "Idle");
    EXPECT_EQ(control<QComboBox>(*f, "cbPriority")->currentIndex(), 1);
    EXPECT_EQ(control<QLabel>(*f, "plPosView")->text(), "0:00:00");
    EXPECT_EQ(control<QLabel>(*f, "plLenView")->text(), "0:00:00");
    ASSERT_NE(control<TPosTracker>(*f, "plPos"), nullptr);
    EXPECT_EQ(control<TPosTracker>(*f, "plPos")->geometry(), QRect(2, 1, 302, 25));
    EXPECT_TRUE(f->setupError().isEmpty());
}

TEST_F(MainFormTest, UnsetStringsReadTheirKeyNames)
{
    auto f = form("");
    EXPECT_EQ(tabTexts(f->pages()), (QStringList{"String20", "String21", "String22"}));
    EXPECT_EQ(control<QAction>(*f, "N1")->text(), "String35");
    EXPECT_EQ(control<QAction>(*f, "N2")->text(), "String36");
    EXPECT_EQ(control<QAction>(*f, "miPlay")->text(), "String31");
    EXPECT_EQ(control<QAction>(*f, "miPrev")->text(), "String33");
    EXPECT_EQ(control<QAction>(*f, "miNext")->text(), "String34");
    EXPECT_EQ(control<QLabel>(*f, "lbComment")->text(), "String25");
    EXPECT_EQ(control<QLabel>(*f, "lbFilesBBS")->text(), "String26files.bbs : ");
    EXPECT_EQ(control<QMenu>(*f, "TrayMenu")->defaultAction(), control<QAction>(*f, "N1"));
    EXPECT_TRUE(control<QAction>(*f, "N1")->font().bold());
}

TEST_F(MainFormTest, NoEditorPageWithoutAllowEdit)
{
    auto f = form("AllowEdit = no\n");
    EXPECT_EQ(f->pages()->count(), 3);
    EXPECT_EQ(f->pages()->indexOf(control<QWidget>(*f, "TagEditor")), -1);
}

TEST_F(MainFormTest, GenreSelectorSortedWithTheEmptyEntryFirst)
{
    auto f = form("genre017 = Rock\ngenre000 = Blues\ngenre013 = pop\ngenre002 = Country\n");
    QStringList names;
    QList<int> numbers;
    for (int i = 0; i < control<QComboBox>(*f, "edGenre")->count(); ++i) {
        names << control<QComboBox>(*f, "edGenre")->itemText(i);
        numbers << control<QComboBox>(*f, "edGenre")->itemData(i).toInt();
    }
    EXPECT_EQ(names, (QStringList{"", "Blues", "Country", "pop", "Rock"}));
    EXPECT_EQ(numbers, (QList<int>{-1, 0, 2, 13, 17}));
    auto empty = form("");
    EXPECT_EQ(control<QComboBox>(*empty, "edGenre")->count(), 1);
}

TEST_F(MainFormTest, ResizeLaysTheWindowOutAgain)
{
    auto f = form("");
    EXPECT_EQ(f->size(), QSize(641, 337));
    EXPECT_EQ(f->treeView()->geometry(), QRect(3, 1, 302, 248));
    EXPECT_EQ(f->pages()->geometry(), QRect(309, 0, 332, 337));
    f->resize(600, 400);
    f->show();
    EXPECT_EQ(f->treeView()->geometry(), QRect(3, 1, 306, 311));
    EXPECT_EQ(f->pages()->geometry(), QRect(308, 0, 292, 400));
    EXPECT_EQ(control<QFrame>(*f, "PlPanel")->geometry(), QRect(0, 313, 306, 87));
}

TEST_F(MainFormTest, AnIconFileThatIsNoImageStopsTheSetUp)
{
    const std::string icon = dir.write("broken.ico", "not an image at all");
    auto f = form("Icon = " + icon + "\n");
    EXPECT_FALSE(f->setupError().isEmpty());
    // The steps after the icon were skipped.
    EXPECT_EQ(f->pages()->tabText(0), "");
    // An image is read by its path's bytes, UTF-8 or not.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(16, 16, QImage::Format_RGB32).save(&buffer, "PNG");
    const std::string latin1 = dir.write("ic\xF4ne.png", png.toStdString());
    EXPECT_TRUE(form("Icon = " + latin1 + "\n")->setupError().isEmpty());
}

TEST_F(MainFormTest, ObjectNamesBecomeAccessibleDescriptions)
{
    auto f = form("");
    f->show();
    QApplication::processEvents();
    EXPECT_EQ(control<QComboBox>(*f, "cbPriority")->accessibleDescription(), "cbPriority");
    EXPECT_EQ(f->treeView()->accessibleDescription(), "TreeView");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(f.get())->role(), QAccessible::Window);
}

TEST(ErrorBoxTest, CriticalBoxWithOneButton)
{
    auto box = ErrorBox::make(nullptr, "Error", "Unable to open file /x.ini", "&Abort");
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->windowTitle(), "Error");
    EXPECT_EQ(box->text(), "Unable to open file /x.ini");
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().front()->text(), "&Abort");
}

TEST(SplashFormTest, LayoutOfTheSplash)
{
    TSplashForm splash;
    EXPECT_EQ(splash.size(), QSize(383, 69));
    EXPECT_EQ(splash.Label1->geometry(), QRect(7, 12, 368, 17));
    EXPECT_EQ(splash.Label2->geometry(), QRect(7, 29, 368, 17));
    EXPECT_EQ(splash.pb->geometry(), QRect(10, 48, 364, 13));
    EXPECT_EQ(splash.pb->maximum(), 100);
}

TEST_F(MainFormTest, LoadsTheDecoderLibraryOrReportsItMissing)
{
    auto f = form("");
    ASSERT_TRUE(f->session().playerStarted());
    EXPECT_TRUE(f->session().player().DLLLoaded());
    EXPECT_EQ(f->session().player().TimerFreq(), 250);
    EXPECT_TRUE(f->session().player().UseTimer);
    EXPECT_EQ(f->session().player().WaveDeviceNum, -1);
    EXPECT_EQ(f->session().player().OutputDevice(), TOutputDevice::wavemapper);
    EXPECT_EQ(f->session().player().PlayerPriority(), TPlayPriority::Normal);
    EXPECT_FALSE(f->libraryMissing());

    test::TestWindow missing(config, std::make_shared<RecordingErrorBox>(), dir.path());
    EXPECT_TRUE(missing.libraryMissing());
    EXPECT_FALSE(missing.session().player().DLLLoaded());
    // The set-up stopped there: no slider, no captions.
    EXPECT_EQ(missing.findChild<TPosTracker*>("plPos"), nullptr);
    EXPECT_EQ(missing.pages()->tabText(0), "");
}
