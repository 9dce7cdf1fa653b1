#include "gui/info/EditorPage.h"

#include "core/config/Configuration.h"

#include "gui/common/Glyphs.h"
#include "gui/common/Widgets.h"

#include <QComboBox>
#include <QLineEdit>

namespace cantorel {

using namespace widgets;

EditorPage::EditorPage(QWidget* parent) : QWidget(parent)
{
    setObjectName("TagEditor");
    struct Field {
        QLabel*& label;
        const char* labelName;
        QWidget* field;
        int top;
    };
    edName = named(new QLineEdit(this), "edName");
    edAlbum = named(new QLineEdit(this), "edAlbum");
    edArtist = named(new QLineEdit(this), "edArtist");
    edYear = named(new QLineEdit(this), "edYear");
    edGenre = named(new QComboBox(this), "edGenre");
    edComment = named(new QLineEdit(this), "edComment");
    const Field fields[] = {
        {lbName, "lbName", edName, 2},   {lbAlbum, "lbAlbum", edAlbum, 42},  {lbArtist, "lbArtist", edArtist, 82},
        {lbYear, "lbYear", edYear, 122}, {lbGenre, "lbGenre", edGenre, 162}, {lbComment, "lbComment", edComment, 202},
    };
    QWidget* previous = nullptr;
    for (const Field& f : fields) {
        f.label = named(new QLabel(this), f.labelName);
        f.label->move(8, f.top);
        f.label->setBuddy(f.field);
        f.field->setGeometry(8, f.top + 15, 257, 21);
        if (previous)
            setTabOrder(previous, f.field);
        previous = f.field;
    }
    lbFilesBBS = named(new QLabel(this), "lbFilesBBS");
    lbFilesBBS->move(8, 241);
    edFilesBBS = named(new QLineEdit(this), "edFilesBBS");
    edFilesBBS->setGeometry(8, 256, 238, 21);
    lbFilesBBS->setBuddy(edFilesBBS);
    setTabOrder(edComment, edFilesBBS);
    btnFilesBBS = flatButton(this, "btnFilesBBS", QRect(245, 256, 22, 21));
    QIcon compose;
    compose.addPixmap(Glyphs::composeEnabled(), QIcon::Normal);
    compose.addPixmap(Glyphs::composeDisabled(), QIcon::Disabled);
    btnFilesBBS->setIcon(compose);
    btnFilesBBS->setIconSize(QSize(16, 16));
    connect(btnFilesBBS, &QToolButton::clicked, this, &EditorPage::composeClicked);
}

QString EditorPage::nameText() const { return edName->text(); }

void EditorPage::setDescription(const QString& text) { edFilesBBS->setText(text); }

void EditorPage::focusName() { edName->setFocus(); }

void EditorPage::setCaptions(const Configuration& c)
{
    const auto ui = [&c](UiString id) { return qs(c.GetUIString(id)); };
    lbName->setText(ui(UiString::NameCaption));
    lbArtist->setText(ui(UiString::ArtistCaption));
    lbAlbum->setText(ui(UiString::AlbumCaption));
    lbYear->setText(ui(UiString::YearCaption));
    lbGenre->setText(ui(UiString::GenreCaption));
    lbComment->setText(ui(UiString::CommentCaption));
    lbFilesBBS->setText(ui(UiString::DescriptionCaption) + qs(c.Settings.FilesBBS) + " : ");
    for (QLabel* label : {lbName, lbArtist, lbAlbum, lbYear, lbGenre, lbComment, lbFilesBBS})
        label->adjustSize();
}

void EditorPage::setGenres(const std::vector<std::pair<std::string, int>>& genres)
{
    for (const auto& [name, number] : genres)
        edGenre->addItem(qs(name), number);
}

void EditorPage::showFields(const EditorFields& f)
{
    edName->setText(qs(f.name));
    edAlbum->setText(qs(f.album));
    edArtist->setText(qs(f.artist));
    edYear->setText(qs(f.year));
    edComment->setText(qs(f.comment));
    edGenre->setCurrentIndex(f.genre ? edGenre->findData(*f.genre) : -1);
    for (QWidget* w : std::initializer_list<QWidget*>{edName, edAlbum, edArtist, edYear, edGenre, edComment})
        w->setEnabled(f.tagFieldsEnabled);
    edFilesBBS->setText(qs(f.description));
    edFilesBBS->setEnabled(f.descriptionEnabled);
    btnFilesBBS->setEnabled(f.composeEnabled);
}

EditorFields EditorPage::readFields() const
{
    EditorFields f;
    f.name = edName->text().toStdString();
    f.album = edAlbum->text().toStdString();
    f.artist = edArtist->text().toStdString();
    f.year = edYear->text().toStdString();
    f.comment = edComment->text().toStdString();
    f.description = edFilesBBS->text().toStdString();
    if (edGenre->currentIndex() >= 0)
        f.genre = edGenre->currentData().toInt();
    return f;
}

std::vector<QWidget*> EditorPage::inputs() const
{
    return {edName, edAlbum, edArtist, edYear, edGenre, edComment, edFilesBBS};
}

} // namespace cantorel
