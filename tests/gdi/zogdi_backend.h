// The reference-case backend over zogdi canvases, and the table's location.
#ifndef ZOGDI_TEST_BACKEND_H
#define ZOGDI_TEST_BACKEND_H

#include "zogdi.h"

#include "refcase.h"

#include <fstream>
#include <string>
#include <vector>

class ZoGdiBackend : public refcase::Backend {
public:
    HDC open(int width, int height) override { return ZoGdiCreateCanvasDC(width, height, RGB(0, 0, 0)); }
    const uint32_t* pixels(HDC dc) override { return ZoGdiPixels(dc, nullptr, nullptr); }
    void close(HDC dc) override { ZoGdiDeleteDC(dc); }
    HFONT font(int pixelHeight) override { return ZoGdiCreateFont(pixelHeight); }
};

struct ReferenceRow {
    std::string caseText;
    std::string result;
};

inline std::vector<ReferenceRow> loadReference() {
    std::vector<ReferenceRow> rows;
    std::ifstream in(ZOGDI_REFERENCE_TABLE);
    for (std::string line; std::getline(in, line);) {
        ReferenceRow row;
        if (refcase::parse(line, row.caseText, row.result))
            rows.push_back(row);
    }
    return rows;
}

#endif
