#pragma once

#include "gui/tray/TrayShell.h"

namespace cantorel::test {

// A notification area that records what the icon asks of it.
class FakeTrayShell : public TrayShell {
public:
    bool add(const QIcon&, const QString& t) override
    {
        tip = t;
        added = available;
        return available;
    }
    void modify(const QIcon&, const QString& t) override
    {
        tip = t;
        ++modifications;
    }
    void remove() override { removed = true; }
    void attachMenu(QMenu* menu) override { attached = menu; }
    bool menuAttached() const override { return false; }

    bool available = true;
    bool added = false;
    bool removed = false;
    int modifications = 0;
    QString tip;
    QMenu* attached = nullptr;
};

} // namespace cantorel::test
