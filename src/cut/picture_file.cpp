// Loading and saving pictures by extension.

#include "cut/picture_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "error/fatal.h"
#include "formats/bmp_file.h"
#include "platform/platform.h"
#include "util/strings.h"

namespace kerfo {
namespace {

bool TailIs(std::string_view path, const char* tail) {
    const std::size_t length = std::strlen(tail);
    if (path.size() < length) {
        return false;
    }
    const std::string tailText(path.substr(path.size() - length));
    return CompareNoCase(tailText.c_str(), tail) == 0;
}

// A file the library reads a picture from or writes one to, and the first
// write error met, so that a byte that fails to reach the file is reported with
// its reason.
struct StreamHandle {
    std::FILE* stream;
    int error = 0;
    // Adds chunks to a PNG as it is written.
    PngChunkInserter* inserter = nullptr;
    // Bytes of a file being read that the library gets changed.
    const std::vector<BytePatch>* hidden = nullptr;
};

// Puts the patches into the bytes that a read of count bytes at offset
// brought into buffer, so that the library doesn't know what they hide (see
// PictureClaim::hiddenFromLibrary).
void HideFromLibrary(const std::vector<BytePatch>* hidden, std::uint64_t offset, std::size_t count,
                     void* buffer) {
    if (hidden == nullptr) {
        return;
    }
    for (const BytePatch& patch : *hidden) {
        for (std::size_t i = 0; i < patch.bytes.size(); ++i) {
            const std::uint64_t at = patch.offset + i;
            if (at >= offset && at - offset < count) {
                static_cast<char*>(buffer)[at - offset] = patch.bytes[i];
            }
        }
    }
}

StreamHandle& StreamOf(fi_handle handle) {
    return *static_cast<StreamHandle*>(handle);
}

unsigned DLL_CALLCONV ReadFromStream(void* buffer, unsigned size, unsigned count,
                                     fi_handle handle) {
    StreamHandle& input = StreamOf(handle);
    const long offset = input.hidden != nullptr ? std::ftell(input.stream) : 0;
    const std::size_t read = std::fread(buffer, size, count, input.stream);
    if (offset >= 0) {
        HideFromLibrary(input.hidden, static_cast<std::uint64_t>(offset), read * size, buffer);
    }
    return static_cast<unsigned>(read);
}

unsigned DLL_CALLCONV WriteToStream(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    StreamHandle& output = StreamOf(handle);
    auto write = [&output](std::string_view bytes) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), output.stream) == bytes.size()) {
            return true;
        }
        if (output.error == 0) {
            output.error = errno != 0 ? errno : EIO;
        }
        return false;
    };
    const std::string_view bytes(static_cast<const char*>(buffer),
                                 static_cast<std::size_t>(size) * count);
    const bool written =
        output.inserter != nullptr ? output.inserter->Write(bytes, write) : write(bytes);
    return written ? count : 0;
}

int DLL_CALLCONV SeekInStream(fi_handle handle, long offset, int origin) {
    return std::fseek(StreamOf(handle).stream, offset, origin);
}

long DLL_CALLCONV TellInStream(fi_handle handle) {
    return std::ftell(StreamOf(handle).stream);
}

FreeImageIO StreamIO() {
    FreeImageIO io{};
    io.read_proc = ReadFromStream;
    io.write_proc = WriteToStream;
    io.seek_proc = SeekInStream;
    io.tell_proc = TellInStream;
    return io;
}

// A picture file: its stream, owned, read for the header checks and by the
// library.
class FileInput : public PictureInput {
  public:
    FileInput(std::FILE* stream, std::uint64_t size)
        : file_(stream), bytes_(stream, size), handle_{stream}, io_(StreamIO()) {}
    std::uint64_t Size() const override { return bytes_.Size(); }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        return bytes_.ReadAt(offset, buffer, count);
    }
    FreeImageIO* IO() override { return &io_; }
    fi_handle Handle() override { return &handle_; }
    void Hide(const std::vector<BytePatch>* patches) override { handle_.hidden = patches; }
    std::FILE* Stream() const { return file_.get(); }

  private:
    struct CloseStream {
        void operator()(std::FILE* stream) const { std::fclose(stream); }
    };
    std::unique_ptr<std::FILE, CloseStream> file_;
    FileSource bytes_;
    StreamHandle handle_;
    FreeImageIO io_;
};

// Gathers what the image library says while it reads a picture; the library
// has one message handler for the whole process.
class LibraryMessages {
  public:
    LibraryMessages() {
        current_ = this;
        FreeImage_SetOutputMessage(Collect);
    }
    ~LibraryMessages() {
        FreeImage_SetOutputMessage(Ignore);
        current_ = nullptr;
    }
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

    // The last thing said, to explain a failure; empty when nothing was.
    std::string Last() const { return messages_.empty() ? std::string() : messages_.back(); }

    // The first message that says pixels were lost (see ReportsDamage).
    std::optional<std::string> Damage() const {
        for (const std::string& message : messages_) {
            if (ReportsDamage(message)) {
                return message;
            }
        }
        return std::nullopt;
    }

  private:
    static void DLL_CALLCONV Collect(FREE_IMAGE_FORMAT, const char* message) {
        if (current_ != nullptr && message != nullptr) {
            current_->messages_.emplace_back(message);
        }
    }
    static void DLL_CALLCONV Ignore(FREE_IMAGE_FORMAT, const char*) {}

    static inline LibraryMessages* current_ = nullptr;
    std::vector<std::string> messages_;
};

// Gives the picture the ICC profile that describes its pixels: the library
// doesn't read a PNG's iCCP chunk, and keeps the profile of a CMYK JPEG that
// it has turned into RGB.
void AttachColourProfile(FIBITMAP* picture, FREE_IMAGE_FORMAT format, const PngColour& colour) {
    FIICCPROFILE* profile = FreeImage_GetICCProfile(picture);
    if (format == FIF_PNG && profile->size == 0 && !colour.iccProfile.empty()) {
        std::string icc = colour.iccProfile;
        FreeImage_CreateICCProfile(picture, icc.data(), static_cast<long>(icc.size()));
    }
    if (format == FIF_JPEG && profile->size >= 20 &&
        std::memcmp(static_cast<const char*>(profile->data) + 16, "CMYK", 4) == 0) {
        FreeImage_DestroyICCProfile(picture);
    }
}

// Gives the picture its EXIF segment whole, as the library keeps it when it
// reads one itself, so that JPEG pieces carry it.
void AttachExif(FIBITMAP* picture, ByteSource& input, std::uint64_t offset, std::uint64_t length) {
    std::string data(static_cast<std::size_t>(length), '\0');
    if (input.ReadAt(offset, data.data(), data.size()) == data.size()) {
        SetRawExif(picture, data);
    }
}

// Reads the header, refuses a picture the file can't hold or the memory can't
// take, then decodes it.
Bitmap LoadChecked(PictureInput& input, FREE_IMAGE_FORMAT format, const char* path,
                   std::optional<std::uint64_t> availableMemory, Samples samples,
                   PngColour* colourOut = nullptr) {
    std::optional<PictureClaim> claim = ReadPictureClaim(format, input);
    if (!claim && NeedsClaim(format, input)) {
        RefuseInput(path, "Its header is damaged: the picture's size can't be read.");
    }
    if (claim) {
        if (const auto reason = RefusalOfClaim(*claim, input.Size(), std::nullopt)) {
            RefuseInput(path, *reason);
        }
        if (claim->bitsPerPixel == 0) {
            // The library's own reading of the header, without the pixels,
            // tells the bitmap it would make.
            const LibraryMessages messages;
            if (!input.Rewind()) {
                RefuseInput(path, "");
            }
            const Bitmap header(
                FreeImage_LoadFromHandle(format, input.IO(), input.Handle(), FIF_LOAD_NOPIXELS));
            if (!header) {
                RefuseInput(path, messages.Last());
            }
            claim->bitsPerPixel = FreeImage_GetBPP(header.get());
        }
        if (const auto reason = RefusalOfClaim(*claim, input.Size(), availableMemory)) {
            RefuseInput(path, *reason);
        }
    }
    if (format == FIF_BMP) {
        // The program reads every BMP itself (see formats/bmp_file.h), in the
        // layout that was checked.
        const std::optional<BmpLayout> layout = ReadBmpLayout(input);
        if (!claim || !layout) {
            RefuseInput(path, "Not a BMP file: it doesn't start with BM.");
        }
        if (!layout->refusal.empty() || layout->width != claim->width ||
            layout->height != claim->height || layout->bitmapBits != claim->bitsPerPixel) {
            RefuseInput(path, "It changed while it was being read.");
        }
        DecodedBmp decoded = DecodeBmp(input, *layout);
        if (!decoded.bitmap) {
            RefuseInput(path, decoded.damage);
        }
        return std::move(decoded.bitmap);
    }
    std::vector<BytePatch> hidden = claim ? claim->hiddenFromLibrary : std::vector<BytePatch>{};
    const PngColour colour = format == FIF_PNG ? ReadPngColour(input) : PngColour{};
    for (BytePatch& patch : HideTransparentColour(colour)) {
        hidden.push_back(std::move(patch));
    }
    const LibraryMessages messages;
    if (!input.Rewind()) {
        RefuseInput(path, "");
    }
    input.Hide(&hidden);
    // JPEGs are decoded as viewers decode them: the accurate integer DCT and
    // smooth chroma upsampling (flags 0 is the library's fast mode).
    const int flags = format == FIF_JPEG                                  ? JPEG_ACCURATE
                      : format == FIF_PNG && samples == Samples::AsStored ? PNG_IGNOREGAMMA
                                                                          : 0;
    Bitmap picture(FreeImage_LoadFromHandle(format, input.IO(), input.Handle(), flags));
    if (!picture) {
        RefuseInput(path, messages.Last());
    }
    if (const std::optional<std::string> damage = messages.Damage()) {
        RefuseInput(path, *damage);
    }
    input.Hide(nullptr);
    if (claim && claim->exifLength != 0) {
        AttachExif(picture.get(), input, claim->exifOffset, claim->exifLength);
    }
    AttachColourProfile(picture.get(), format, colour);
    if (colourOut != nullptr) {
        *colourOut = colour;
    }
    return picture;
}

bool IsGrey(FIBITMAP* bitmap) {
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    if (type == FIT_UINT16) {
        return true;
    }
    if (type != FIT_BITMAP) {
        return false;
    }
    const FREE_IMAGE_COLOR_TYPE colour = FreeImage_GetColorType(bitmap);
    return colour == FIC_MINISBLACK || colour == FIC_MINISWHITE;
}

bool HasAlpha(FIBITMAP* bitmap) {
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    return type == FIT_RGBA16 || (type == FIT_BITMAP && FreeImage_GetBPP(bitmap) == 32);
}

// Whether the format's encoder takes standard bitmaps of this depth. The JPEG
// encoder claims 32 bits but takes them only as CMYK, which loaded pictures
// never are.
bool TakesDepth(FREE_IMAGE_FORMAT format, unsigned bitsPerPixel) {
    if (format == FIF_JPEG) {
        return bitsPerPixel == 8 || bitsPerPixel == 24;
    }
    return FreeImage_FIFSupportsExportBPP(format, static_cast<int>(bitsPerPixel));
}

// Whether the format's encoder takes the bitmap as it is.
bool StoresAsIs(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format) {
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    if (type != FIT_BITMAP) {
        return FreeImage_FIFSupportsExportType(format, type);
    }
    return TakesDepth(format, FreeImage_GetBPP(bitmap));
}

// Whether the bitmap's ICC profile is one of colour pictures.
bool HasColourProfile(FIBITMAP* bitmap) {
    const FIICCPROFILE* profile = FreeImage_GetICCProfile(bitmap);
    return profile->size >= 20 &&
           std::memcmp(static_cast<const char*>(profile->data) + 16, "RGB ", 4) == 0;
}

// A copy of the bitmap in a form the format stores, or none when the bitmap
// can be saved as it is: 8-bit grey for a grey picture where the format takes
// it (unless its profile is for colour), 32 bits for one with an alpha channel
// where the format takes that, and 24-bit colour otherwise. The copy carries
// the bitmap's ICC profile, which the library's conversions leave behind.
Bitmap ConvertForFormat(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format) {
    if (StoresAsIs(bitmap, format)) {
        return nullptr;
    }
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    Bitmap converted;
    if (IsGrey(bitmap) && TakesDepth(format, 8) && !HasColourProfile(bitmap)) {
        converted.reset(type == FIT_UINT16 ? FreeImage_ConvertTo8Bits(bitmap)
                                           : FreeImage_ConvertToGreyscale(bitmap));
    } else if (HasAlpha(bitmap) && TakesDepth(format, 32)) {
        converted.reset(FreeImage_ConvertTo32Bits(bitmap));
    } else {
        converted.reset(FreeImage_ConvertTo24Bits(bitmap));
    }
    const FIICCPROFILE* profile = FreeImage_GetICCProfile(bitmap);
    if (converted && profile->size > 0 && FreeImage_GetICCProfile(converted.get())->size == 0) {
        FreeImage_CreateICCProfile(converted.get(), profile->data, profile->size)->flags =
            profile->flags;
    }
    return converted;
}

}  // namespace

void RefuseInput(const char* path, const std::string& reason) {
    if (reason.empty()) {
        Fatal("Couldn't open input file: %s", path);
    }
    Fatal("Couldn't open input file: %s\n%s", path, reason.c_str());
}

PictureFile::PictureFile(const char* path, std::optional<std::uint64_t> memoryLimit)
    : path_(path), memoryLimit_(memoryLimit) {
    const std::optional<FREE_IMAGE_FORMAT> format = FormatForName(path);
    if (!format) {
        Fatal("Input file: %s - must end in .jpg or .jpeg", path);
    }
    format_ = *format;
    const platform::InputFile file = platform::OpenInputFile(path);
    if (file.status == platform::InputFile::Status::NotARegularFile) {
        RefuseInput(path, "It is not a regular file.");
    }
    if (file.status != platform::InputFile::Status::Opened) {
        RefuseInput(path, "");
    }
    input_ = std::make_unique<FileInput>(file.stream, file.size);
}

PictureFile::~PictureFile() = default;

std::FILE* PictureFile::Stream() const {
    return input_ ? static_cast<FileInput&>(*input_).Stream() : nullptr;
}

Bitmap PictureFile::Load(Samples samples, PngColour* colour) {
    return LoadChecked(*input_, format_, path_.c_str(),
                       memoryLimit_ ? memoryLimit_ : platform::AvailableMemory(), samples, colour);
}

void PictureFile::Close() {
    input_.reset();
}

namespace {

// The value of a bitmap's metadata tag: its bytes, empty where it has none.
std::string_view TagBytes(FIBITMAP* bitmap, FREE_IMAGE_MDMODEL model, const char* key) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(model, bitmap, key, &tag) || tag == nullptr) {
        return {};
    }
    return {static_cast<const char*>(FreeImage_GetTagValue(tag)), FreeImage_GetTagLength(tag)};
}

// Gives a bitmap the metadata tag of those bytes, in place of its own.
void SetTagBytes(FIBITMAP* bitmap, FREE_IMAGE_MDMODEL model, const char* key,
                 FREE_IMAGE_MDTYPE type, std::string_view bytes) {
    FITAG* tag = FreeImage_CreateTag();
    if (tag == nullptr) {
        return;
    }
    FreeImage_SetTagKey(tag, key);
    FreeImage_SetTagLength(tag, static_cast<DWORD>(bytes.size()));
    FreeImage_SetTagCount(tag, static_cast<DWORD>(bytes.size()));
    FreeImage_SetTagType(tag, type);
    FreeImage_SetTagValue(tag, bytes.data());
    FreeImage_SetMetadata(model, bitmap, FreeImage_GetTagKey(tag), tag);
    FreeImage_DeleteTag(tag);
}

}  // namespace

std::string_view RawExif(FIBITMAP* bitmap) {
    return TagBytes(bitmap, FIMD_EXIF_RAW, "ExifRaw");
}

void SetRawExif(FIBITMAP* bitmap, std::string_view exif) {
    SetTagBytes(bitmap, FIMD_EXIF_RAW, "ExifRaw", FIDT_BYTE, exif);
}

// The library keeps a packet as text: its length is the packet's bytes (with
// the terminating zero where the writer counted one), and it adds a zero
// behind them.
std::string_view XmpPacket(FIBITMAP* bitmap) {
    return TagBytes(bitmap, FIMD_XMP, "XMLPacket");
}

void SetXmpPacket(FIBITMAP* bitmap, std::string_view xmp) {
    SetTagBytes(bitmap, FIMD_XMP, "XMLPacket", FIDT_ASCII, xmp);
}

bool ReportsDamage(std::string_view message) {
    auto startsWith = [message](std::string_view start) {
        return message.substr(0, start.size()) == start;
    };
    return startsWith("Premature end of JPEG file") ||
           startsWith("Inconsistent progression sequence") ||
           startsWith("Invalid SOS parameters") ||
           (startsWith("Corrupt JPEG data") && message.find("bad ICC marker") == message.npos &&
            message.find("before marker 0xd9") == message.npos);
}

std::optional<FREE_IMAGE_FORMAT> FormatForName(std::string_view path) {
    if (path.size() <= 3) {
        return std::nullopt;
    }
    if (TailIs(path, ".jpg")) {
        return FIF_JPEG;
    }
    if (path.size() > 4 && TailIs(path, ".jpeg")) {
        return FIF_JPEG;
    }
    if (TailIs(path, ".bmp")) {
        return FIF_BMP;
    }
    if (TailIs(path, ".png")) {
        return FIF_PNG;
    }
    return std::nullopt;
}

Bitmap LoadPicture(const char* path, Samples samples) {
    PictureFile file(path);
    return file.Load(samples);
}

Bitmap TurnedUpright(Bitmap bitmap, unsigned orientation) {
    if (orientation < 2 || orientation > 8 || !bitmap) {
        return bitmap;
    }
    FIBITMAP* const stored = bitmap.get();
    // A quarter turn clockwise for 5 to 7, anticlockwise for 8 (the library
    // turns anticlockwise), a half turn for 3; then the mirror that the
    // orientation adds: 5 is a transpose, 7 a transverse.
    const bool quarter = orientation >= 5;
    Bitmap turned(orientation == 8   ? FreeImage_Rotate(stored, 90)
                  : quarter          ? FreeImage_Rotate(stored, 270)
                  : orientation == 3 ? FreeImage_Rotate(stored, 180)
                                     : FreeImage_Clone(stored));
    if (!turned) {
        Fatal("out of memory");
    }
    if (orientation == 2 || orientation == 5) {
        FreeImage_FlipHorizontal(turned.get());
    } else if (orientation == 4 || orientation == 7) {
        FreeImage_FlipVertical(turned.get());
    }
    FreeImage_CloneMetadata(turned.get(), stored);
    const FIICCPROFILE* profile = FreeImage_GetICCProfile(stored);
    if (profile->size > 0 && FreeImage_GetICCProfile(turned.get())->size == 0) {
        FreeImage_CreateICCProfile(turned.get(), profile->data, profile->size)->flags =
            profile->flags;
    }
    const unsigned x = FreeImage_GetDotsPerMeterX(stored);
    const unsigned y = FreeImage_GetDotsPerMeterY(stored);
    FreeImage_SetDotsPerMeterX(turned.get(), quarter ? y : x);
    FreeImage_SetDotsPerMeterY(turned.get(), quarter ? x : y);
    return turned;
}

void EncodePicture(std::FILE* stream, FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, int flags,
                   const PngColour* colour, const char* name) {
    const Bitmap converted = ConvertForFormat(bitmap, format);
    FIBITMAP* const toSave = converted ? converted.get() : bitmap;
    FreeImageIO io = StreamIO();
    StreamHandle output{stream};
    const PngColour none;
    PngChunkInserter inserter(colour != nullptr ? *colour : none);
    if (format == FIF_PNG && colour != nullptr) {
        output.inserter = &inserter;
    }
    errno = 0;
    const bool encoded = FreeImage_SaveToHandle(format, toSave, &io, &output, flags) != 0;
    if (output.error != 0) {
        Fatal("Couldn't save %s: not every byte could be written: %s.", name,
              std::strerror(output.error));
    }
    if (!encoded) {
        Fatal("Couldn't save %s: the image library could not write this picture in that format.",
              name);
    }
}

std::string_view PictureExtension(std::string_view path) {
    const std::size_t drive = platform::DrivePrefixLength(path);
    const std::size_t end = path.find_last_not_of(platform::kPathSeparators);
    if (end == std::string_view::npos || end < drive) {
        return {};
    }
    const std::string_view trimmed = path.substr(0, end + 1);
    const std::size_t slash = trimmed.find_last_of(platform::kPathSeparators);
    const std::size_t baseStart = std::max(drive, slash == std::string_view::npos ? 0 : slash + 1);
    const std::size_t dot = trimmed.rfind('.');
    if (dot == std::string_view::npos || dot < baseStart) {
        return {};
    }
    return trimmed.substr(dot);
}

}  // namespace kerfo
