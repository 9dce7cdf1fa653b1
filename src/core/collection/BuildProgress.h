#pragma once

#include <string>

namespace cantorel {

// Where the tree build reports what it is doing: a status line and a progress bar. The
// window's splash implements it; the command-line companion shows nothing.
class BuildProgress {
public:
    virtual ~BuildProgress() = default;
    virtual void setStatus(const std::string& text) = 0;
    virtual void setMaximum(int maximum) = 0;
    virtual void setPosition(int position) = 0;
    // Called after every step, so that a window can repaint.
    virtual void repaint() = 0;
};

} // namespace cantorel
