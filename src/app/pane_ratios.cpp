#include "app/pane_ratios.h"

#include <QSplitter>
#include <algorithm>
#include <numeric>

namespace qm {

pane_ratios::pane_ratios(QSplitter* across, QSplitter* down, Layout& layout, const Settings& settings,
                         std::function<void()> tree_resized)
    : QObject(across), across_(across), down_(down), layout_(layout), settings_(settings) {
    across_->setStretchFactor(0, 0);
    across_->setStretchFactor(1, 1);
    down_->setStretchFactor(0, 1);
    down_->setStretchFactor(1, 0);
    connect(across_, &QSplitter::splitterMoved, this, [this, tree_resized](int, int) {
        settle();
        record();
        if (tree_resized) tree_resized();
    });
    connect(down_, &QSplitter::splitterMoved, this, [this](int, int) {
        settle();
        record();
    });
}

void pane_ratios::apply() {
    auto total = [](const QList<int>& sizes) { return std::accumulate(sizes.begin(), sizes.end(), 0); };
    const int width = total(across_->sizes());
    const int tree_width = std::clamp(static_cast<int>(static_cast<float>(layout_.size_x) * layout_.tree_ratio), 1,
                                      std::max(1, width - 1));
    across_->setSizes({tree_width, std::max(1, width - tree_width)});
    const int height = total(down_->sizes());
    const int preview_height = std::clamp(static_cast<int>(static_cast<float>(layout_.size_y) * layout_.preview_ratio),
                                          1, std::max(1, height - 1));
    down_->setSizes({std::max(1, height - preview_height), preview_height});
}

void pane_ratios::record() {
    if (pending_ || layout_.size_x <= 0 || layout_.size_y <= 0) return;
    const QList<int> across = across_->sizes(), down = down_->sizes();
    if (settings_.view_tree && across.size() == 2 && across[0] > 0)
        layout_.tree_ratio = static_cast<float>(across[0]) / static_cast<float>(layout_.size_x);
    if (settings_.view_preview && down.size() == 2 && down[1] > 0)
        layout_.preview_ratio = static_cast<float>(down[1]) / static_cast<float>(layout_.size_y);
}

void pane_ratios::settle() { pending_ = false; }

}  // namespace qm
