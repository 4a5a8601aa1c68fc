#pragma once

#include <QObject>
#include <functional>

#include "config/layout.h"
#include "config/settings.h"

class QSplitter;

namespace qm {

// The folder tree's width and the preview's height as ratios of the
// window's outer size, kept in the layout. They are applied once the
// splitters have their real size, and follow every change afterwards: a
// dragged divider and a resized window alike, so that the next start shows
// the panes as they are now. When the window changes size the list takes
// the difference.
class pane_ratios : public QObject {
public:
    pane_ratios(QSplitter* across, QSplitter* down, Layout& layout, const Settings& settings,
                std::function<void()> tree_resized);

    void apply();
    void record();
    // The panes have their final size: from now on changes are recorded.
    void settle();
    bool pending() const { return pending_; }

private:
    QSplitter* across_;
    QSplitter* down_;
    Layout& layout_;
    const Settings& settings_;
    bool pending_ = true;
};

}  // namespace qm
