// PngWriter on Windows: the Windows Imaging Component's PNG encoder.
#include "run/PngWriter.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <cstdio>

namespace zohost::tool {

namespace {

// Releases a COM interface at the end of the scope.
template <typename T>
struct Com {
    T* p = nullptr;
    ~Com() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
    T** out() { return &p; }
};

std::wstring widened(const std::string& s) {
    const int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
    w.resize(static_cast<std::size_t>(n - 1));
    return w;
}

std::string hex(HRESULT hr) {
    char t[16];
    std::snprintf(t, sizeof t, "0x%08lX", static_cast<unsigned long>(hr));
    return t;
}

// Rows of B, G, R bytes, each padded to four bytes; returns a row's length.
std::size_t packBgr(const std::uint32_t* pixels, int width, int height, std::vector<unsigned char>& rgb) {
    const std::size_t stride = (3 * static_cast<std::size_t>(width) + 3) & ~static_cast<std::size_t>(3);
    rgb.assign(stride * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        unsigned char* out = rgb.data() + stride * static_cast<std::size_t>(y);
        const std::uint32_t* in = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            out[0] = static_cast<unsigned char>(in[x]);
            out[1] = static_cast<unsigned char>(in[x] >> 8);
            out[2] = static_cast<unsigned char>(in[x] >> 16);
            out += 3;
        }
    }
    return stride;
}

}  // namespace

bool PngWriter::write(const std::string& path, const std::uint32_t* pixels, int width, int height,
                      std::string& error) {
    if (!pixels || width < 1 || height < 1) {
        error = "no picture to write";
        return false;
    }
    const std::size_t stride = packBgr(pixels, width, height, rgb_);
    // This thread may have COM already, in any model: then it is used as it is.
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    HRESULT hr = S_OK;
    const char* step = "";
    {
        Com<IWICImagingFactory> factory;
        Com<IWICStream> stream;
        Com<IWICBitmapEncoder> encoder;
        Com<IWICBitmapFrameEncode> frame;
        WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
        const std::wstring wpath = widened(path);
        // Each step runs only if the ones before it succeeded.
        auto run = [&](const char* what, HRESULT r) {
            if (FAILED(hr)) return;
            hr = r;
            step = what;
        };
        run("the imaging component", CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                                      IID_IWICImagingFactory, reinterpret_cast<void**>(factory.out())));
        if (SUCCEEDED(hr)) run("a stream", factory->CreateStream(stream.out()));
        if (SUCCEEDED(hr)) run("the file", stream->InitializeFromFilename(wpath.c_str(), GENERIC_WRITE));
        if (SUCCEEDED(hr)) run("the encoder", factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out()));
        if (SUCCEEDED(hr)) run("the encoder", encoder->Initialize(stream.p, WICBitmapEncoderNoCache));
        if (SUCCEEDED(hr)) run("a frame", encoder->CreateNewFrame(frame.out(), nullptr));
        if (SUCCEEDED(hr)) run("a frame", frame->Initialize(nullptr));
        if (SUCCEEDED(hr))
            run("the size", frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)));
        if (SUCCEEDED(hr)) run("the pixel format", frame->SetPixelFormat(&format));
        if (SUCCEEDED(hr) && !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
            hr = E_FAIL;
            step = "24-bit pixels (the encoder wants another format)";
        }
        if (SUCCEEDED(hr))
            run("the pixels", frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(stride),
                                                 static_cast<UINT>(rgb_.size()), rgb_.data()));
        if (SUCCEEDED(hr)) run("the frame", frame->Commit());
        if (SUCCEEDED(hr)) run("the file", encoder->Commit());
    }
    if (SUCCEEDED(init)) CoUninitialize();
    if (FAILED(hr)) {
        error = "cannot write " + path + ": " + step + " failed (" + hex(hr) + ")";
        return false;
    }
    return true;
}

}  // namespace zohost::tool
