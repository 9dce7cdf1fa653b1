#include "gui/info/InfoPages.h"

#include "core/info/PicturePage.h"
#include "core/info/TextPage.h"

#include "gui/common/Widgets.h"
#include "gui/info/RtfTextDocument.h"

#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

namespace cantorel {

using namespace widgets;

namespace {

// Makes `child` fill a new page.
QWidget* pageWith(const char* name, QWidget* child)
{
    auto* page = named(new QWidget, name);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child);
    return page;
}

} // namespace

InfoPages::InfoPages(QWidget* parent) : QTabWidget(parent)
{
    setObjectName("Pages");
    Image = named(new QLabel, "Image");
    Image->setAlignment(Qt::AlignCenter);
    // A large picture is cut at the page's edges instead of growing the page.
    Image->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    Image->setMinimumSize(1, 1);
    TextView = named(new QTextEdit, "TextView");
    TextView->setReadOnly(true);
    TextView->setFrameStyle(QFrame::NoFrame);
    TextView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TextView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TextView->viewport()->setAutoFillBackground(false);
    TextView->setLineWrapMode(QTextEdit::WidgetWidth);
    QPalette textPalette = TextView->palette();
    textPalette.setColor(QPalette::Base, textPalette.color(QPalette::Window));
    TextView->setPalette(textPalette);
    TrackInfo = named(new QLabel, "TrackInfo");
    TrackInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TrackInfo->setTextFormat(Qt::PlainText);
    TrackInfo->setWordWrap(false);
    TabSheet1 = pageWith("TabSheet1", Image);
    TabSheet2 = pageWith("TabSheet2", TextView);
    TabSheet3 = pageWith("TabSheet3", TrackInfo);
    addTab(TabSheet1, QString());
    addTab(TabSheet2, QString());
    addTab(TabSheet3, QString());
}

void InfoPages::showPicture(const std::optional<Picture>& picture)
{
    const std::string source = picture ? picture->source : std::string();
    if (source == ShownPicturePath)
        return;
    ShownPicturePath = source;
    const QImage image = picture ? QImage::fromData(reinterpret_cast<const uchar*>(picture->bytes.data()),
                                                    static_cast<int>(picture->bytes.size()))
                                 : QImage();
    if (image.isNull()) {
        Image->hide();
        return;
    }
    Image->setPixmap(QPixmap::fromImage(image));
    Image->show();
}

void InfoPages::showDescription(QString text) { TrackInfo->setText(text.replace('\r', '\n')); }

void InfoPages::setCoverButtons(const QString& setCaption, const QString& removeCaption)
{
    btnSetCover = named(new QPushButton(setCaption, TabSheet1), "btnSetCover");
    btnRemoveCover = named(new QPushButton(removeCaption, TabSheet1), "btnRemoveCover");
    int left = 4;
    for (QPushButton* b : {btnSetCover, btnRemoveCover}) {
        b->adjustSize();
        b->move(left, 4);
        left += b->width() + 4;
        b->hide();
    }
}

void InfoPages::showCoverButtons(bool shown)
{
    for (QPushButton* b : {btnSetCover, btnRemoveCover}) {
        if (b) {
            b->setVisible(shown);
            b->raise();
        }
    }
}

void InfoPages::showText(const std::string& path, const SettingsRecord& settings)
{
    if (path == ShownTextPath)
        return;
    ShownTextPath = path;
    TextView->document()->clear();
    const std::optional<TextPage> page = path.empty() ? std::nullopt : readTextPage(path, settings);
    if (!page)
        return;
    if (page->rich)
        RtfTextDocument::fill(TextView->document(), *page->rich);
    else // the document's own plain text drops the character formats a rich page left
        TextView->document()->setPlainText(QString::fromStdString(page->plain));
    TextView->moveCursor(QTextCursor::Start);
}

} // namespace cantorel
