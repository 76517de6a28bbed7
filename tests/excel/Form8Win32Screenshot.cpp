// Not a test: shows the Win32 Form8 on a workbook in memory and saves a picture of the
// whole window (frame included) as PNG, for the README:
//   form8_win32_screenshot <file.png>
#include <wincodec.h>

#include <cstdio>

#include "host/excel/ComSupport.h"
#include "host/memory/MemoryHost.h"
#include "window/win32/Form8.h"

namespace {

using gridmoor::com::check;
using gridmoor::com::Ref;

void pump(int milliseconds) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    while (GetTickCount() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

// Writes the bitmap as a PNG file through the Windows Imaging Component.
void savePng(HBITMAP bitmap, const wchar_t* path) {
    Ref<IWICImagingFactory> factory;
    check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IWICImagingFactory, reinterpret_cast<void**>(factory.put())),
          "creating the imaging factory");
    Ref<IWICBitmap> source;
    check(factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, source.put()),
          "reading the bitmap");
    Ref<IWICStream> stream;
    check(factory->CreateStream(stream.put()), "creating a stream");
    check(stream->InitializeFromFilename(path, GENERIC_WRITE), "opening the file");
    Ref<IWICBitmapEncoder> encoder;
    check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()),
          "creating the encoder");
    check(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache), "starting the encoder");
    Ref<IWICBitmapFrameEncode> frame;
    Ref<IPropertyBag2> options;
    check(encoder->CreateNewFrame(frame.put(), options.put()), "adding a frame");
    check(frame->Initialize(options.get()), "starting the frame");
    UINT width = 0, height = 0;
    check(source->GetSize(&width, &height), "measuring the bitmap");
    check(frame->SetSize(width, height), "sizing the frame");
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    check(frame->SetPixelFormat(&format), "choosing the pixel format");
    check(frame->WriteSource(source.get(), nullptr), "writing the pixels");
    check(frame->Commit(), "finishing the frame");
    check(encoder->Commit(), "finishing the file");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace gridmoor;
    if (argc != 2) {
        std::fputs("usage: form8_win32_screenshot <file.png>\n", stderr);
        return 2;
    }
    try {
        com::Apartment apartment;
        MemoryHost host;
        host.addWorkbook("销售数据2024.xlsx", {"汇总", "华东区"});
        host.activateSheet("华东区");
        win32::Form8 form(host);
        form.open();
        pump(500);

        const HWND window = static_cast<HWND>(form.nativeHandle());
        RECT r;
        GetWindowRect(window, &r);
        const int width = r.right - r.left;
        const int height = r.bottom - r.top;
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        savePng(bitmap, argv[1]);
        DeleteObject(bitmap);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "form8_win32_screenshot: %s\n", e.what());
        return 1;
    }
}
