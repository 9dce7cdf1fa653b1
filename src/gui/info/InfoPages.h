#pragma once

#include <QTabWidget>

#include <optional>
#include <string>

class QLabel;
class QPushButton;
class QTextEdit;

namespace cantorel {

struct Picture;
struct SettingsRecord;

// The information pages beside the tree: the picture, the text page and the description
// page (the window adds the editor page as a fourth).
class InfoPages : public QTabWidget {
    Q_OBJECT
public:
    explicit InfoPages(QWidget* parent);

    // Each shows its page unless it shows that source already (none: an empty page).
    void showPicture(const std::optional<Picture>& picture);
    void showText(const std::string& path, const SettingsRecord& settings);
    // The description page's text, its carriage returns as line breaks.
    void showDescription(QString text);
    // The picture page's two buttons for a track's cover, with their captions; shown only
    // while `shown` (a track, editing on, ID3v2 tags).
    void setCoverButtons(const QString& setCaption, const QString& removeCaption);
    void showCoverButtons(bool shown);
    // Shows the picture again even when its source is the same (its bytes changed).
    void forgetPicture() { ShownPicturePath = "?"; }

    QPushButton* btnSetCover = nullptr;
    QPushButton* btnRemoveCover = nullptr;

    QWidget* TabSheet1 = nullptr;
    QLabel* Image = nullptr;
    QWidget* TabSheet2 = nullptr;
    QTextEdit* TextView = nullptr;
    QWidget* TabSheet3 = nullptr;
    QLabel* TrackInfo = nullptr;
    // The picture's source and the text path that the two pages last handled.
    std::string ShownPicturePath = "?";
    std::string ShownTextPath = "?";
};

} // namespace cantorel
