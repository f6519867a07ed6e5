// The Windows-named drawing calls over a registry of checked handles.
#include "zogdi.h"

#include "raster.h"
#include "text.h"

#include <cstddef>
#include <deque>
#include <new>
#include <vector>

namespace zogdi {
namespace {

enum Kind : uint8_t { kFree = 0, kPen = OBJ_PEN, kBrush = OBJ_BRUSH, kDC = 3, kFont = OBJ_FONT };

// A handle is generation << 24 | slot << 4 | kind: never 0, and a stale or
// forged handle fails the slot, kind or generation check.
constexpr uint32_t kSlotBits = 20;
constexpr uint32_t kMaxSlots = 1u << kSlotBits;
// Freed slots wait in line behind this many others before reuse, so a stale
// handle would need 256 * kFreeReserve create/delete cycles to come back.
constexpr size_t kFreeReserve = 4096;
constexpr uint64_t kMaxCanvasPixels = 1ull << 28;
constexpr int kMaxFontPixels = 1024;
constexpr int kStockFontPixels = 14; // a 16-pixel cell, like the Windows system font

struct DeviceContext {
    std::vector<uint32_t> pixels;
    Canvas canvas;
    uint32_t pen = 0, brush = 0, font = 0;
    uint32_t penPixel = 0;
    bool penDraws = true;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    UINT align = TA_LEFT | TA_TOP;
    POINT position = {0, 0};
};

struct Object {
    uint8_t kind = kFree;
    uint8_t generation = 0;
    bool stock = false;
    bool doomed = false;     // deleted while selected; freed when deselected
    bool draws = false;      // false for null pens and brushes
    uint32_t selections = 0; // DCs that have it selected
    uint32_t pixel = 0;      // pen or brush colour
    DeviceContext* dc = nullptr;
    Font* font = nullptr;
};

// The twenty colours of the default palette, for PALETTEINDEX colours.
const uint32_t kDefaultPalette[20] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0, 0xC0DCC0, 0xA6CAF0,
    0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

uint32_t toPixel(COLORREF c) {
    if ((c >> 24) & 1u) {
        const uint32_t index = c & 0xFFFFu;
        return index < 20 ? kDefaultPalette[index] : 0;
    }
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

uint32_t handleValue(const void* h) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if (static_cast<uint64_t>(v) >> 32)
        return 0;
    return static_cast<uint32_t>(v);
}

template <typename H>
H toHandle(uint32_t value) {
    return reinterpret_cast<H>(static_cast<uintptr_t>(value));
}

class Registry {
public:
    Registry() {
        stockBrush(WHITE_BRUSH, 0xFFFFFF, true);
        stockBrush(LTGRAY_BRUSH, 0xC0C0C0, true);
        stockBrush(GRAY_BRUSH, 0x808080, true);
        stockBrush(DKGRAY_BRUSH, 0x404040, true);
        stockBrush(BLACK_BRUSH, 0x000000, true);
        stockBrush(NULL_BRUSH, 0, false);
        stockPen(WHITE_PEN, 0xFFFFFF, true);
        stockPen(BLACK_PEN, 0x000000, true);
        stockPen(NULL_PEN, 0, false);
        const uint32_t font = allocate(kFont);
        objects_[slotOf(font)].font = new Font(kStockFontPixels);
        objects_[slotOf(font)].stock = true;
        stock_[SYSTEM_FONT] = font;
    }

    uint32_t stock(int index) const { return index >= 0 && index < kStockCount ? stock_[index] : 0; }

    uint32_t allocate(uint8_t kind) {
        uint32_t slot;
        if (free_.size() > kFreeReserve || (!free_.empty() && objects_.size() >= kMaxSlots)) {
            slot = free_.front();
            free_.pop_front();
        } else {
            if (objects_.size() >= kMaxSlots)
                return 0;
            slot = static_cast<uint32_t>(objects_.size());
            objects_.emplace_back();
        }
        Object& o = objects_[slot];
        const uint8_t generation = o.generation;
        o = Object();
        o.kind = kind;
        o.generation = generation;
        return valueOf(slot);
    }

    // The live object behind a handle value, if it is of the given kind
    // (0: pen, brush or font).
    inline Object* find(uint32_t value, uint8_t kind) {
        const uint32_t slot = slotOf(value);
        if (slot >= objects_.size())
            return nullptr;
        Object& o = objects_[slot];
        if (o.kind == kFree || o.kind != (value & 0xFu) || o.generation != (value >> 24))
            return nullptr;
        if (kind != 0 ? o.kind != kind : o.kind == kDC)
            return nullptr;
        return &o;
    }

    DeviceContext* dc(HDC h) {
        Object* o = find(handleValue(h), kDC);
        return o ? o->dc : nullptr;
    }

    void select(uint32_t value) { ++objects_[slotOf(value)].selections; }

    void deselect(uint32_t value) {
        Object& o = objects_[slotOf(value)];
        if (--o.selections == 0 && o.doomed)
            destroy(value);
    }

    void destroy(uint32_t value) {
        const uint32_t slot = slotOf(value);
        Object& o = objects_[slot];
        if (o.kind == kPen || o.kind == kBrush)
            --live_;
        delete o.dc;
        delete o.font;
        const uint8_t next = static_cast<uint8_t>(o.generation + 1);
        o = Object();
        o.generation = next;
        free_.push_back(slot);
    }

    void countCreated() { ++live_; }
    long live() const { return live_; }

private:
    static constexpr int kStockCount = SYSTEM_FONT + 1;

    static uint32_t slotOf(uint32_t value) { return (value >> 4) & (kMaxSlots - 1); }
    uint32_t valueOf(uint32_t slot) const {
        const Object& o = objects_[slot];
        return (static_cast<uint32_t>(o.generation) << 24) | (slot << 4) | o.kind;
    }

    void stockBrush(int index, uint32_t pixel, bool draws) { stockOf(index, kBrush, pixel, draws); }
    void stockPen(int index, uint32_t pixel, bool draws) { stockOf(index, kPen, pixel, draws); }
    void stockOf(int index, uint8_t kind, uint32_t pixel, bool draws) {
        const uint32_t value = allocate(kind);
        Object& o = objects_[slotOf(value)];
        o.stock = true;
        o.pixel = pixel;
        o.draws = draws;
        stock_[index] = value;
    }

    std::vector<Object> objects_;
    std::deque<uint32_t> free_; // oldest first, so a slot's reuse comes late
    uint32_t stock_[kStockCount] = {};
    long live_ = 0;
};

// Never destroyed: a host may still call in from its own exit-time code.
// A plain pointer rather than a function-local static keeps the lookup in
// LineTo to one load and one test.
Registry* theRegistry = nullptr;

__attribute__((noinline)) Registry& createRegistry() {
    theRegistry = new Registry();
    return *theRegistry;
}

inline Registry& registry() {
    return theRegistry ? *theRegistry : createRegistry();
}

uint32_t createPenOrBrush(uint8_t kind, COLORREF color, bool draws) {
    Registry& r = registry();
    const uint32_t value = r.allocate(kind);
    if (value == 0)
        return 0;
    Object* o = r.find(value, kind);
    o->pixel = toPixel(color);
    o->draws = draws;
    r.countCreated();
    return value;
}

BOOL drawText(DeviceContext* d, Font& font, int x, int y, const char* text, int length) {
    const bool updateCp = (d->align & TA_UPDATECP) != 0;
    const int64_t refX = updateCp ? d->position.x : x;
    const int64_t refY = updateCp ? d->position.y : y;
    const int64_t width = font.measure(text, length);
    int64_t left = refX;
    switch (d->align & TA_CENTER) {
    case TA_RIGHT: left = refX - width; break;
    case TA_CENTER: left = refX - width / 2; break;
    default: break;
    }
    int64_t top = refY;
    switch (d->align & TA_BASELINE) {
    case TA_BOTTOM: top = refY - font.height(); break;
    case TA_BASELINE: top = refY - font.ascent(); break;
    default: break;
    }
    if (d->bkMode == OPAQUE)
        fillBox(d->canvas, left, top, left + width, top + font.height(), toPixel(d->bkColor));
    font.draw(d->canvas, left, top, text, length, toPixel(d->textColor));
    if (updateCp) {
        // Wraps like the 32-bit coordinate it is.
        if ((d->align & TA_CENTER) == TA_LEFT)
            d->position.x = static_cast<int32_t>(static_cast<uint32_t>(refX + width));
        else if ((d->align & TA_CENTER) == TA_RIGHT)
            d->position.x = static_cast<int32_t>(static_cast<uint32_t>(refX - width));
    }
    return TRUE;
}

} // namespace
} // namespace zogdi

using namespace zogdi;

namespace {

ZoGdiTraceFn g_trace = nullptr;
void* g_trace_user = nullptr;

void trace(const char* name, HDC dc, int32_t a0 = 0, int32_t a1 = 0, int32_t a2 = 0, int32_t a3 = 0,
           COLORREF colour = 0, HGDIOBJ object = nullptr, const char* text = nullptr,
           int length = 0) {
    const ZoGdiCall call = {name, dc, {a0, a1, a2, a3}, colour, object, text, length};
    g_trace(g_trace_user, &call);
}

} // namespace

#define ZOGDI_TRACE(...)                                                                          \
    do {                                                                                          \
        if (g_trace)                                                                              \
            trace(__VA_ARGS__);                                                                   \
    } while (0)

extern "C" {

void ZoGdiSetTrace(ZoGdiTraceFn fn, void* user) {
    g_trace = fn;
    g_trace_user = user;
}

static HPEN CreatePen_impl(int style, int width, COLORREF color) {
    (void)width; // every width draws as a 1-pixel line
    return toHandle<HPEN>(createPenOrBrush(kPen, color, (style & 0x0F) != PS_NULL));
}

static HBRUSH CreateSolidBrush_impl(COLORREF color) {
    return toHandle<HBRUSH>(createPenOrBrush(kBrush, color, true));
}

HGDIOBJ GetStockObject(int index) {
    return toHandle<HGDIOBJ>(registry().stock(index));
}

static HGDIOBJ SelectObject_impl(HDC dc, HGDIOBJ object) {
    Registry& r = registry();
    DeviceContext* d = r.dc(dc);
    const uint32_t value = handleValue(object);
    Object* o = r.find(value, 0);
    if (!d || !o)
        return nullptr;
    uint32_t* current = o->kind == kPen ? &d->pen : o->kind == kBrush ? &d->brush : &d->font;
    if (o->kind == kPen) {
        d->penPixel = o->pixel;
        d->penDraws = o->draws;
    }
    const uint32_t previous = *current;
    if (previous != value) {
        r.select(value);
        *current = value;
        r.deselect(previous);
    }
    return toHandle<HGDIOBJ>(previous);
}

static BOOL DeleteObject_impl(HGDIOBJ object) {
    Registry& r = registry();
    const uint32_t value = handleValue(object);
    Object* o = r.find(value, 0);
    if (!o)
        return FALSE;
    if (o->stock)
        return TRUE;
    if (o->selections > 0)
        o->doomed = true;
    else
        r.destroy(value);
    return TRUE;
}

static BOOL MoveToEx_impl(HDC dc, int x, int y, LPPOINT previous) {
    DeviceContext* d = registry().dc(dc);
    if (!d)
        return FALSE;
    if (previous)
        *previous = d->position;
    d->position.x = x;
    d->position.y = y;
    return TRUE;
}

BOOL GetCurrentPositionEx(HDC dc, LPPOINT position) {
    DeviceContext* d = registry().dc(dc);
    if (!d || !position)
        return FALSE;
    *position = d->position;
    return TRUE;
}

static BOOL LineTo_impl(HDC dc, int x, int y) {
    DeviceContext* d = registry().dc(dc);
    if (!d)
        return FALSE;
    if (d->penDraws)
        drawLine(d->canvas, d->position.x, d->position.y, x, y, d->penPixel);
    d->position.x = x;
    d->position.y = y;
    return TRUE;
}

static int FillRect_impl(HDC dc, const RECT* rect, HBRUSH brush) {
    Registry& r = registry();
    DeviceContext* d = r.dc(dc);
    Object* b = r.find(handleValue(brush), kBrush);
    if (!d || !b || !rect)
        return FALSE;
    // An inverted side fills from the far edge, exclusive, to the near one,
    // inclusive: right and bottom stay excluded in the rectangle's own sense.
    // The near edge + 1 wraps in 32 bits, as in GDI.
    int64_t left = rect->left, right = rect->right, top = rect->top, bottom = rect->bottom;
    if (right < left) {
        left = static_cast<int64_t>(rect->right) + 1;
        right = static_cast<int32_t>(static_cast<uint32_t>(rect->left) + 1u);
    }
    if (bottom < top) {
        top = static_cast<int64_t>(rect->bottom) + 1;
        bottom = static_cast<int32_t>(static_cast<uint32_t>(rect->top) + 1u);
    }
    if (b->draws)
        fillBox(d->canvas, left, top, right, bottom, b->pixel);
    return TRUE;
}

static COLORREF SetTextColor_impl(HDC dc, COLORREF color) {
    DeviceContext* d = registry().dc(dc);
    if (!d)
        return CLR_INVALID;
    const COLORREF previous = d->textColor;
    d->textColor = color;
    return previous;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    DeviceContext* d = registry().dc(dc);
    if (!d)
        return CLR_INVALID;
    const COLORREF previous = d->bkColor;
    d->bkColor = color;
    return previous;
}

static int SetBkMode_impl(HDC dc, int mode) {
    DeviceContext* d = registry().dc(dc);
    if (!d || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    const int previous = d->bkMode;
    d->bkMode = mode;
    return previous;
}

static UINT SetTextAlign_impl(HDC dc, UINT align) {
    DeviceContext* d = registry().dc(dc);
    if (!d)
        return 0xFFFFFFFFu; // GDI_ERROR
    const UINT previous = d->align;
    d->align = align;
    return previous;
}

static BOOL TextOutA_impl(HDC dc, int x, int y, LPCSTR text, int length) {
    Registry& r = registry();
    DeviceContext* d = r.dc(dc);
    if (!d || length < 0 || (length > 0 && !text))
        return FALSE;
    Object* f = r.find(d->font, kFont);
    if (!f)
        return FALSE;
    try {
        return drawText(d, *f->font, x, y, text, length);
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

HDC ZoGdiCreateCanvasDC(int width, int height, COLORREF fill) {
    if (width <= 0 || height <= 0)
        width = height = 0;
    const uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (count > kMaxCanvasPixels)
        return nullptr;
    DeviceContext* d = new (std::nothrow) DeviceContext();
    if (!d)
        return nullptr;
    try {
        d->pixels.assign(static_cast<size_t>(count), toPixel(fill));
    } catch (const std::bad_alloc&) {
        delete d;
        return nullptr;
    }
    d->canvas.pixels = d->pixels.empty() ? nullptr : d->pixels.data();
    d->canvas.width = width;
    d->canvas.height = height;

    Registry& r = registry();
    const uint32_t value = r.allocate(kDC);
    if (value == 0) {
        delete d;
        return nullptr;
    }
    r.find(value, kDC)->dc = d;
    d->pen = r.stock(BLACK_PEN);
    d->brush = r.stock(WHITE_BRUSH);
    d->font = r.stock(SYSTEM_FONT);
    r.select(d->pen);
    r.select(d->brush);
    r.select(d->font);
    d->penPixel = 0;
    d->penDraws = true;
    return toHandle<HDC>(value);
}

void ZoGdiDeleteDC(HDC dc) {
    Registry& r = registry();
    DeviceContext* d = r.dc(dc);
    if (!d)
        return;
    const uint32_t selected[3] = {d->pen, d->brush, d->font};
    r.destroy(handleValue(dc));
    for (uint32_t value : selected)
        r.deselect(value);
}

const uint32_t* ZoGdiPixels(HDC dc, int* width, int* height) {
    DeviceContext* d = registry().dc(dc);
    if (width)
        *width = d ? d->canvas.width : 0;
    if (height)
        *height = d ? d->canvas.height : 0;
    return d ? d->canvas.pixels : nullptr;
}

HFONT ZoGdiCreateFont(int pixel_height) {
    if (pixel_height < 1 || pixel_height > kMaxFontPixels)
        return nullptr;
    Font* font = new (std::nothrow) Font(pixel_height);
    if (!font)
        return nullptr;
    Registry& r = registry();
    const uint32_t value = r.allocate(kFont);
    if (value == 0) {
        delete font;
        return nullptr;
    }
    r.find(value, kFont)->font = font;
    return toHandle<HFONT>(value);
}

HGDIOBJ ZoGdiCurrentObject(HDC dc, int kind) {
    DeviceContext* d = registry().dc(dc);
    if (!d)
        return nullptr;
    switch (kind) {
    case OBJ_PEN: return toHandle<HGDIOBJ>(d->pen);
    case OBJ_BRUSH: return toHandle<HGDIOBJ>(d->brush);
    case OBJ_FONT: return toHandle<HGDIOBJ>(d->font);
    default: return nullptr;
    }
}

long ZoGdiLiveObjects(void) {
    return registry().live();
}

HPEN CreatePen(int style, int width, COLORREF color) {
    const HPEN result = CreatePen_impl(style, width, color);
    ZOGDI_TRACE("CreatePen", nullptr, style, width, 0, 0, color, result);
    return result;
}

HBRUSH CreateSolidBrush(COLORREF color) {
    const HBRUSH result = CreateSolidBrush_impl(color);
    ZOGDI_TRACE("CreateSolidBrush", nullptr, 0, 0, 0, 0, color, result);
    return result;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    const HGDIOBJ result = SelectObject_impl(dc, object);
    ZOGDI_TRACE("SelectObject", dc, 0, 0, 0, 0, 0, object);
    return result;
}

BOOL DeleteObject(HGDIOBJ object) {
    const BOOL result = DeleteObject_impl(object);
    ZOGDI_TRACE("DeleteObject", nullptr, 0, 0, 0, 0, 0, object);
    return result;
}

BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous) {
    const BOOL result = MoveToEx_impl(dc, x, y, previous);
    ZOGDI_TRACE("MoveToEx", dc, x, y);
    return result;
}

BOOL LineTo(HDC dc, int x, int y) {
    const BOOL result = LineTo_impl(dc, x, y);
    ZOGDI_TRACE("LineTo", dc, x, y);
    return result;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    const int result = FillRect_impl(dc, rect, brush);
    ZOGDI_TRACE("FillRect", dc, rect ? rect->left : 0, rect ? rect->top : 0, rect ? rect->right : 0, rect ? rect->bottom : 0, 0, brush);
    return result;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    const COLORREF result = SetTextColor_impl(dc, color);
    ZOGDI_TRACE("SetTextColor", dc, 0, 0, 0, 0, color);
    return result;
}

int SetBkMode(HDC dc, int mode) {
    const int result = SetBkMode_impl(dc, mode);
    ZOGDI_TRACE("SetBkMode", dc, mode);
    return result;
}

UINT SetTextAlign(HDC dc, UINT align) {
    const UINT result = SetTextAlign_impl(dc, align);
    ZOGDI_TRACE("SetTextAlign", dc, static_cast<int32_t>(align));
    return result;
}

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
    const BOOL result = TextOutA_impl(dc, x, y, text, length);
    ZOGDI_TRACE("TextOutA", dc, x, y, 0, 0, 0, nullptr, text, length);
    return result;
}

} // extern "C"
