#pragma once

#include "core/info/NodeEditor.h"

#include <QWidget>

#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace cantorel {

struct Configuration;

// The editor page: the six tag fields, the description field and its compose button,
// and with ID3v2 tags a row of track, disc and album artist below them and a genre that
// may be typed. What it shows and what was typed travel as EditorFields; the rules are
// NodeEditor's.
class EditorPage : public QWidget {
    Q_OBJECT
public:
    explicit EditorPage(QWidget* parent = nullptr);

    // The labels' captions (interface strings and the description file's name).
    void setCaptions(const Configuration& configuration);
    // The genre list: names with their numbers, in the order shown.
    void setGenres(const std::vector<std::pair<std::string, int>>& genres);
    // Shows the fields of ID3v2 tags (captions from the configuration's interface strings).
    void showExtendedFields(const Configuration& configuration);
    void showFields(const EditorFields& fields);
    EditorFields readFields() const;
    // The fields in which Enter moves on to the next track.
    std::vector<QWidget*> inputs() const;
    // The title as typed, a new description text, and the focus on the title.
    QString nameText() const;
    void setDescription(const QString& text);
    void focusName();

signals:
    // The compose button: a description from the fields.
    void composeClicked();

private:
    QLabel* lbName = nullptr;
    QLineEdit* edName = nullptr;
    QLabel* lbAlbum = nullptr;
    QLineEdit* edAlbum = nullptr;
    QLabel* lbArtist = nullptr;
    QLineEdit* edArtist = nullptr;
    QLabel* lbYear = nullptr;
    QLineEdit* edYear = nullptr;
    QLabel* lbGenre = nullptr;
    QComboBox* edGenre = nullptr;
    QLabel* lbComment = nullptr;
    QLineEdit* edComment = nullptr;
    QLabel* lbFilesBBS = nullptr;
    QLineEdit* edFilesBBS = nullptr;
    QToolButton* btnFilesBBS = nullptr;
    QLineEdit* edTrack = nullptr; // these three only with ID3v2 tags
    QLineEdit* edDisc = nullptr;
    QLineEdit* edAlbumArtist = nullptr;
};

} // namespace cantorel
