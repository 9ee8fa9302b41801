#include "platform/controls/Headless.h"

namespace platform {

TTreeNode* TTreeView::Add(TTreeNode* sibling, const std::string& text) {
    if (sibling && sibling->Parent) return AddChildObject(sibling->Parent, text, nullptr);
    auto node = std::make_unique<TTreeNode>();
    node->Text = text;
    roots_.push_back(std::move(node));
    return roots_.back().get();
}

TTreeNode* TTreeView::AddChildObject(TTreeNode* parent, const std::string& text, void* data) {
    if (!parent) {
        TTreeNode* node = Add(nullptr, text);
        node->Data = data;
        return node;
    }
    auto node = std::make_unique<TTreeNode>();
    node->Text = text;
    node->Data = data;
    node->Parent = parent;
    parent->Children.push_back(std::move(node));
    return parent->Children.back().get();
}

namespace {
int CountNodes(const std::vector<std::unique_ptr<TTreeNode>>& nodes) {
    int n = 0;
    for (const auto& node : nodes)
        n += 1 + CountNodes(node->Children);
    return n;
}
} // namespace

int TTreeView::Count() const {
    return CountNodes(roots_);
}

} // namespace platform
