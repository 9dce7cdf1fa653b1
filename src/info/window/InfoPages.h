#pragma once

#include <QTabWidget>
#include <string>

class QLabel;
class QTextEdit;

namespace cantorel {

struct SettingsRecord;

// The information pages beside the tree: the picture, the text page and the description
// page (the window adds the editor page as a fourth).
class InfoPages : public QTabWidget {
    Q_OBJECT
public:
    explicit InfoPages(QWidget* parent);

    // Each shows the file at `path` unless it is the one shown already ("" shows none).
    void showPicture(const std::string& path);
    void showText(const std::string& path, const SettingsRecord& settings);

    QWidget* TabSheet1 = nullptr;
    QLabel* Image = nullptr;
    QWidget* TabSheet2 = nullptr;
    QTextEdit* TextView = nullptr;
    QWidget* TabSheet3 = nullptr;
    QLabel* TrackInfo = nullptr;
    // The picture and text paths that the two pages last handled.
    std::string ShownPicturePath = "?";
    std::string ShownTextPath = "?";
};

} // namespace cantorel
