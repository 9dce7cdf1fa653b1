#include "config/Configuration.h"
#include "app/window/ErrorBox.h"
#include "app/window/TMainForm.h"
#include "info/window/InfoPages.h"
#include "info/window/EditorPage.h"
#include "player/window/PlayerPanel.h"
#include "app/window/TSplashForm.h"
#include "player/TMPEGPlayer.h"
#include "player/window/TPosTracker.h"
#include "support/Outcomes.h"
#include "support/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <QAccessible>
#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using namespace cantorel;
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
        return std::make_unique<TMainForm>(config, std::make_shared<RecordingErrorBox>());
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
    EXPECT_EQ(tabTexts(f->Pages), (QStringList{"Picture", "Text", "Info", "Edit"}));
    EXPECT_EQ(f->Pages->currentIndex(), 0);
    EXPECT_EQ(f->lbName->text(), "&Title");
    EXPECT_EQ(f->lbName->buddy(), static_cast<QWidget*>(f->edName));
    EXPECT_EQ(f->lbFilesBBS->text(), "Line in descript.ion : ");
    EXPECT_EQ(f->lbArtist->text(), "String6");
    EXPECT_EQ(f->cbPriority->count(), 4);
    EXPECT_EQ(f->cbPriority->itemText(0), "Idle");
    EXPECT_EQ(f->cbPriority->currentIndex(), 1);
    EXPECT_EQ(f->plPosView->text(), "0:00:00");
    EXPECT_EQ(f->plLenView->text(), "0:00:00");
    ASSERT_NE(f->plPos, nullptr);
    EXPECT_EQ(f->plPos->geometry(), QRect(2, 1, 302, 25));
    EXPECT_TRUE(f->setupError().isEmpty());
}

TEST_F(MainFormTest, UnsetStringsReadTheirKeyNames)
{
    auto f = form("");
    EXPECT_EQ(tabTexts(f->Pages), (QStringList{"String20", "String21", "String22"}));
    EXPECT_EQ(f->N1->text(), "String35");
    EXPECT_EQ(f->N2->text(), "String36");
    EXPECT_EQ(f->miPlay->text(), "String31");
    EXPECT_EQ(f->miPrev->text(), "String33");
    EXPECT_EQ(f->miNext->text(), "String34");
    EXPECT_EQ(f->lbComment->text(), "String25");
    EXPECT_EQ(f->lbFilesBBS->text(), "String26files.bbs : ");
    EXPECT_EQ(f->TrayMenu->defaultAction(), f->N1);
    EXPECT_TRUE(f->N1->font().bold());
}

TEST_F(MainFormTest, NoEditorPageWithoutAllowEdit)
{
    auto f = form("AllowEdit = no\n");
    EXPECT_EQ(f->Pages->count(), 3);
    EXPECT_EQ(f->Pages->indexOf(f->TagEditor), -1);
}

TEST_F(MainFormTest, GenreSelectorSortedWithTheEmptyEntryFirst)
{
    auto f = form("genre017 = Rock\ngenre000 = Blues\ngenre013 = pop\ngenre002 = Country\n");
    QStringList names;
    QList<int> numbers;
    for (int i = 0; i < f->edGenre->count(); ++i) {
        names << f->edGenre->itemText(i);
        numbers << f->edGenre->itemData(i).toInt();
    }
    EXPECT_EQ(names, (QStringList{"", "Blues", "Country", "pop", "Rock"}));
    EXPECT_EQ(numbers, (QList<int>{-1, 0, 2, 13, 17}));
    auto empty = form("");
    EXPECT_EQ(empty->edGenre->count(), 1);
}

TEST_F(MainFormTest, ResizeLaysTheWindowOutAgain)
{
    auto f = form("");
    EXPECT_EQ(f->size(), QSize(641, 337));
    EXPECT_EQ(f->TreeView->geometry(), QRect(3, 1, 302, 248));
    EXPECT_EQ(f->Pages->geometry(), QRect(309, 0, 332, 337));
    f->resize(600, 400);
    f->show();
    EXPECT_EQ(f->TreeView->geometry(), QRect(3, 1, 306, 311));
    EXPECT_EQ(f->Pages->geometry(), QRect(308, 0, 292, 400));
    EXPECT_EQ(f->PlPanel->geometry(), QRect(0, 313, 306, 87));
}

TEST_F(MainFormTest, AnIconFileThatIsNoImageStopsTheSetUp)
{
    const std::string icon = dir.write("broken.ico", "not an image at all");
    auto f = form("Icon = " + icon + "\n");
    EXPECT_FALSE(f->setupError().isEmpty());
    // The steps after the icon were skipped.
    EXPECT_EQ(f->Pages->tabText(0), "");
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
    EXPECT_EQ(f->cbPriority->accessibleDescription(), "cbPriority");
    EXPECT_EQ(f->TreeView->accessibleDescription(), "TreeView");
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
    ASSERT_NE(f->Player, nullptr);
    EXPECT_TRUE(f->Player->DLLLoaded());
    EXPECT_EQ(f->Player->TimerFreq(), 250);
    EXPECT_TRUE(f->Player->UseTimer);
    EXPECT_EQ(f->Player->WaveDeviceNum, -1);
    EXPECT_EQ(f->Player->OutputDevice(), TOutputDevice::wavemapper);
    EXPECT_EQ(f->Player->PlayerPriority(), TPlayPriority::Normal);
    EXPECT_FALSE(f->libraryMissing());

    TMainForm missing(config, std::make_shared<RecordingErrorBox>(), dir.path());
    EXPECT_TRUE(missing.libraryMissing());
    EXPECT_FALSE(missing.Player->DLLLoaded());
    // The set-up stopped there: no slider, no captions.
    EXPECT_EQ(missing.plPos, nullptr);
    EXPECT_EQ(missing.Pages->tabText(0), "");
}
