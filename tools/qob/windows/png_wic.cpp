// PNG through the Windows Imaging Component (windowscodecs.dll), part of every Windows since
// XP SP3: qob.exe then needs no DLL beyond the system's. WIC chooses its own deflate level;
// the compression level picks the row filter (0 none, 1 SUB, 2..9 adaptive).
#include <objidl.h>
#include <wincodec.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "tools/qob/png_codec.h"

namespace qob {

namespace {

// Holds a COM interface and releases it.
template <typename Interface>
struct Held {
    Interface* p = nullptr;
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (p != nullptr) p->Release();
    }
    Interface** out() { return &p; }
    Interface* operator->() const { return p; }
};

// COM on the calling thread for as long as it lives (each decode thread has its own).
struct ComThread {
    HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ~ComThread() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
};

std::string describe(const char* step, HRESULT result) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (HRESULT 0x%08lx)", step,
                  static_cast<unsigned long>(result));
    return text;
}

bool createFactory(IWICImagingFactory** factory, std::string* error) {
    const HRESULT result =
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IWICImagingFactory, reinterpret_cast<void**>(factory));
    if (SUCCEEDED(result)) return true;
    *error = describe("the Windows Imaging Component", result);
    return false;
}

// An IStream that appends to a C stream: the encoder's bytes go straight to the output.
class FileStream final : public IStream {
public:
    explicit FileStream(std::FILE* out) : out_(out) {}
    int failure = 0;  // errno of the first failed write

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == IID_IUnknown || id == IID_ISequentialStream || id == IID_IStream) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on the stack

    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG* done) override {
        if (done != nullptr) *done = 0;
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* done) override {
        errno = 0;
        const size_t written = std::fwrite(data, 1, size, out_);
        if (done != nullptr) *done = ULONG(written);
        position_ += written;
        if (written == size) return S_OK;
        if (failure == 0) failure = errno != 0 ? errno : EIO;
        return STG_E_WRITEFAULT;
    }
    // The encoder asks where it stands; it never needs to go back.
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* position) override {
        const bool stay = move.QuadPart == 0 && origin == STREAM_SEEK_CUR;
        const bool toEnd = move.QuadPart == int64_t(position_) && origin == STREAM_SEEK_SET;
        if (!stay && !toEnd) return STG_E_INVALIDFUNCTION;
        if (position != nullptr) position->QuadPart = position_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* status, DWORD) override {
        std::memset(status, 0, sizeof *status);
        status->type = STGTY_STREAM;
        status->cbSize.QuadPart = position_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    std::FILE* out_;
    uint64_t position_ = 0;
    ULONG references_ = 1;
};

// The IHDR colour type: 0 gray, 2 RGB, 3 palette, 4 gray and alpha, 6 RGBA.
int colourType(const std::vector<uint8_t>& bytes) {
    return bytes.size() > 25 ? bytes[25] : -1;
}

}  // namespace

bool decodePng(const std::vector<uint8_t>& bytes, PngPixels* pixels, std::string* error) {
    ComThread com;
    Held<IWICImagingFactory> factory;
    if (!createFactory(factory.out(), error)) return false;
    Held<IWICStream> stream;
    Held<IWICBitmapDecoder> decoder;
    Held<IWICBitmapFrameDecode> frame;
    HRESULT result = factory->CreateStream(stream.out());
    if (SUCCEEDED(result)) {
        result = stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), DWORD(bytes.size()));
    }
    if (SUCCEEDED(result))
        result = factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.out());
    if (SUCCEEDED(result)) result = decoder->Initialize(stream.p, WICDecodeMetadataCacheOnDemand);
    if (SUCCEEDED(result)) result = decoder->GetFrame(0, frame.out());
    UINT width = 0, height = 0;
    if (SUCCEEDED(result)) result = frame->GetSize(&width, &height);
    if (FAILED(result)) {
        *error = "bad PNG: " + describe("reading", result);
        return false;
    }
    if (width < 1 || height < 1 || width > 65535 || height > 65535) {
        *error = "picture size " + std::to_string(width) + "x" + std::to_string(height) +
                 " outside 1..65535";
        return false;
    }
    // Every kind is read as B, G, R, A; gray kinds then keep one sample and the alpha, as
    // libpng's simplified interface gives them.
    Held<IWICFormatConverter> converter;
    result = factory->CreateFormatConverter(converter.out());
    if (SUCCEEDED(result)) {
        result =
            converter->Initialize(frame.p, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                  nullptr, 0.0, WICBitmapPaletteTypeCustom);
    }
    const size_t stride = size_t(width) * 4;
    std::vector<uint8_t> bgra;
    if (SUCCEEDED(result)) {
        bgra.resize(stride * height);
        result = converter->CopyPixels(nullptr, UINT(stride), UINT(bgra.size()), bgra.data());
    }
    if (FAILED(result)) {
        *error = "bad PNG: " + describe("decoding", result);
        return false;
    }
    const int type = colourType(bytes);
    const bool gray = type == 0 || type == 4;
    pixels->width = int32_t(width);
    pixels->height = int32_t(height);
    pixels->palette = type == 3;
    pixels->channels = gray ? 2 : 4;
    const size_t count = size_t(width) * height;
    pixels->samples.resize(count * size_t(pixels->channels));
    uint8_t* out = pixels->samples.data();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* in = &bgra[i * 4];
        if (gray) {
            *out++ = in[2];
        } else {
            *out++ = in[2];
            *out++ = in[1];
            *out++ = in[0];
        }
        *out++ = in[3];
    }
    return true;
}

struct PngWriter::State {
    State(std::FILE* stream, int compression) : out(stream), level(compression) {}

    std::FILE* out;
    int level;
    ComThread com;
    FileStream stream{out};
    Held<IWICImagingFactory> factory;
    Held<IWICBitmapEncoder> encoder;
    Held<IWICBitmapFrameEncode> frame;
    int32_t width = 0;
    int32_t channels = 0;
    std::vector<uint8_t> row;  // B, G, R order for the encoder

    bool check(HRESULT result, const char* step, std::string* error) const {
        if (SUCCEEDED(result)) return true;
        *error = stream.failure != 0 ? std::string("cannot write: ") + std::strerror(stream.failure)
                                     : "PNG: " + describe(step, result);
        return false;
    }
};

PngWriter::PngWriter(std::FILE* out, int level) : state_(std::make_unique<State>(out, level)) {}

PngWriter::~PngWriter() = default;

bool PngWriter::begin(int32_t width, int32_t height, int32_t channels, std::string* error) {
    State& s = *state_;
    s.width = width;
    s.channels = channels;
    if (!createFactory(s.factory.out(), error)) return false;
    Held<IPropertyBag2> properties;
    HRESULT result = s.factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, s.encoder.out());
    if (SUCCEEDED(result)) result = s.encoder->Initialize(&s.stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(result)) result = s.encoder->CreateNewFrame(s.frame.out(), properties.out());
    if (!s.check(result, "creating the encoder", error)) return false;
    if (properties.p != nullptr) {
        // Not every WIC knows the option; the encoder's own choice is fine then.
        PROPBAG2 option = {};
        option.pstrName = const_cast<LPOLESTR>(L"FilterOption");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_UI1;
        value.bVal = BYTE(s.level == 0   ? WICPngFilterNone
                          : s.level == 1 ? WICPngFilterSub
                                         : WICPngFilterAdaptive);
        properties->Write(1, &option, &value);
    }
    result = s.frame->Initialize(properties.p);
    if (SUCCEEDED(result)) result = s.frame->SetSize(UINT(width), UINT(height));
    WICPixelFormatGUID format =
        channels == 1 ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR;
    const WICPixelFormatGUID wanted = format;
    if (SUCCEEDED(result)) result = s.frame->SetPixelFormat(&format);
    if (SUCCEEDED(result) && format != wanted) result = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    s.row.resize(size_t(width) * size_t(channels));
    return s.check(result, "starting the picture", error);
}

bool PngWriter::writeRow(const uint8_t* row, std::string* error) {
    State& s = *state_;
    if (s.channels == 1) {
        std::memcpy(s.row.data(), row, s.row.size());
    } else {
        for (size_t x = 0; x < size_t(s.width); ++x) {
            s.row[3 * x] = row[3 * x + 2];
            s.row[3 * x + 1] = row[3 * x + 1];
            s.row[3 * x + 2] = row[3 * x];
        }
    }
    return s.check(s.frame->WritePixels(1, UINT(s.row.size()), UINT(s.row.size()), s.row.data()),
                   "writing a row", error);
}

bool PngWriter::finish(std::string* error) {
    State& s = *state_;
    HRESULT result = s.frame->Commit();
    if (SUCCEEDED(result)) result = s.encoder->Commit();
    if (SUCCEEDED(result) && s.stream.failure != 0) result = STG_E_WRITEFAULT;
    return s.check(result, "finishing the file", error);
}

}  // namespace qob
