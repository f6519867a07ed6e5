// Where text was drawn, from our drawing library's call trace: the two font
// engines may draw glyphs differently, so the cross-checks leave text out.
#pragma once

#include <cstring>
#include <vector>

#include "zogdi.h"

namespace crosscheck {

class TextBoxes {
public:
    explicit TextBoxes(int font_height = 12) : font_height_(font_height) {}
    // Traces every drawing call from now until the object ends.
    void trace() { ZoGdiSetTrace(&TextBoxes::onCall, this); }
    ~TextBoxes() { ZoGdiSetTrace(nullptr, nullptr); }
    TextBoxes(const TextBoxes&) = delete;
    TextBoxes& operator=(const TextBoxes&) = delete;

    void setFontHeight(int h) { font_height_ = h; }
    void clear() {
        boxes_.clear();
        align_ = 0;
    }
    std::size_t size() const { return boxes_.size(); }
    bool covers(int x, int y) const {
        for (const Box& b : boxes_)
            if (x >= b.left && x < b.right && y >= b.top && y < b.bottom) return true;
        return false;
    }

private:
    struct Box {
        int left, top, right, bottom;
    };
    static void onCall(void* self, const ZoGdiCall* call) {
        TextBoxes& t = *static_cast<TextBoxes*>(self);
        if (std::strcmp(call->name, "SetTextAlign") == 0) t.align_ = call->args[0];
        if (std::strcmp(call->name, "TextOutA") != 0) return;
        const int width = call->length * (t.font_height_ * 3 / 4);  // wider than any glyph of the font
        const int x = call->args[0], y = call->args[1];
        const int left = (t.align_ & 2) ? x - width : x;  // TA_RIGHT
        t.boxes_.push_back({left - 2, y - 2, left + width + 2, y + t.font_height_ * 3 / 2 + 2});
    }
    std::vector<Box> boxes_;
    int align_ = 0;
    int font_height_;
};

}  // namespace crosscheck
