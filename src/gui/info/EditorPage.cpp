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

void EditorPage::showExtendedFields(const Configuration& c)
{
    // One row under the description, each field named by its placeholder and tip.
    const struct {
        QLineEdit*& field;
        const char* name;
        UiString caption;
        QRect geometry;
    } row[] = {
        {edTrack, "edTrack", UiString::TrackField, QRect(8, 282, 70, 21)},
        {edDisc, "edDisc", UiString::DiscField, QRect(82, 282, 64, 21)},
        {edAlbumArtist, "edAlbumArtist", UiString::AlbumArtistField, QRect(150, 282, 117, 21)},
    };
    QWidget* previous = edFilesBBS;
    for (const auto& f : row) {
        f.field = named(new QLineEdit(this), f.name);
        f.field->setGeometry(f.geometry);
        f.field->setPlaceholderText(qs(c.GetUIString(f.caption)));
        f.field->setToolTip(f.field->placeholderText());
        f.field->show();
        setTabOrder(previous, f.field);
        previous = f.field;
    }
    // A genre the list does not hold can be typed.
    edGenre->setEditable(true);
    edGenre->setInsertPolicy(QComboBox::NoInsert);
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
    if (edGenre->isEditable() && edGenre->currentIndex() < 0)
        edGenre->setEditText(qs(f.genreText));
    for (QWidget* w : std::initializer_list<QWidget*>{edName, edAlbum, edArtist, edYear, edGenre, edComment})
        w->setEnabled(f.tagFieldsEnabled);
    for (auto [field, text] : {std::pair{edTrack, &f.track}, {edDisc, &f.disc}, {edAlbumArtist, &f.albumArtist}}) {
        if (field) {
            field->setText(qs(*text));
            field->setEnabled(f.tagFieldsEnabled);
        }
    }
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
    if (edGenre->isEditable()) {
        // What stands in the field: the entry chosen, an entry of the list typed by its
        // name, else a typed genre. An empty field chooses nothing (the genre stays).
        const QString typed = edGenre->currentText().trimmed();
        const int chosen = edGenre->currentIndex();
        const int entry = typed.isEmpty() ? -1 : edGenre->findText(typed, Qt::MatchFixedString);
        if (chosen >= 0 && edGenre->itemText(chosen).trimmed() == typed)
            f.genre = edGenre->itemData(chosen).toInt();
        else if (entry >= 0)
            f.genre = edGenre->itemData(entry).toInt();
        else
            f.genreText = typed.toStdString();
    } else if (edGenre->currentIndex() >= 0) {
        f.genre = edGenre->currentData().toInt();
    }
    for (auto [field, text] : {std::pair{edTrack, &f.track}, {edDisc, &f.disc}, {edAlbumArtist, &f.albumArtist}}) {
        if (field)
            *text = field->text().toStdString();
    }
    return f;
}

std::vector<QWidget*> EditorPage::inputs() const
{
    std::vector<QWidget*> fields{edName, edAlbum, edArtist, edYear, edGenre, edComment, edFilesBBS};
    for (QWidget* extended : std::initializer_list<QWidget*>{edTrack, edDisc, edAlbumArtist}) {
        if (extended)
            fields.push_back(extended);
    }
    return fields;
}

} // namespace cantorel
