// Lossless JPEG cuts with libjpeg: the picture's coefficients are read once,
// and every piece is written from them where they lie. For each component the
// encoder is given an array of its own whose block rows are the picture's,
// shifted to the piece; it only reads them, and makes the padding blocks past
// the piece's edges itself. The pieces are those of libjpeg-turbo's crop
// (transupp.c, as TurboJPEG's transform runs it): the same parameters, the
// same markers and the same EXIF sizes, byte for byte.
//
// A picture cut as shown is turned piece by piece, taking no more memory: the
// encoder's block rows of a piece are gathered from the picture's blocks where
// the turn takes them from, each block's coefficients transposed and mirrored
// as it is copied (as transupp turns a whole picture). The encoder reads a
// progressive piece's blocks once a scan, so they are turned that often; a
// baseline piece's once.

#include "cut/lossless.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <string_view>
#include <utility>
// After cstdio: jpeglib.h needs FILE and size_t.
#include <jerror.h>
#include <jpeglib.h>

#include "cut/block_grid.h"
#include "error/fatal.h"
#include "formats/exif.h"
#include "formats/jpeg_header.h"
#include "formats/xmp.h"
#include "platform/platform.h"

// A crop's size is set as the libjpeg 6.2 interface has it (image_width), as
// Debian's libjpeg62-turbo and the Windows build's libjpeg-turbo are built.
static_assert(JPEG_LIB_VERSION == 62, "the crop is written for the libjpeg 6.2 interface");

namespace kerfo {

// Everything of the library's that a cut uses, as plain data. The functions
// that call the library set a jump under setjmp, to which the library returns
// on an error, past the frames in between: no object with a destructor may live
// in them.
struct JpegCut {
    static constexpr std::size_t kBufferSize = 1 << 16;
    struct Errors {
        jpeg_error_mgr manager;  // first: the library's pointer to it points to Errors
        std::jmp_buf jump;
        char error[JMSG_LENGTH_MAX];
        // The first warning since the library last started a job, as its own
        // handler shows only that one.
        char firstWarning[JMSG_LENGTH_MAX];
        bool warned;
        int writeError;  // the errno value of a piece's failed write
    } errors;
    struct Source {
        jpeg_source_mgr manager;
        std::FILE* file;  // the picture's (not the cut's), until its coefficients are read
        bool started;
        JOCTET buffer[kBufferSize];
    } source;
    struct Destination {
        jpeg_destination_mgr manager;
        std::FILE* file;
        JOCTET buffer[kBufferSize];
    } destination;
    jpeg_progress_mgr progress;
    jpeg_decompress_struct decoder;
    jpeg_compress_struct encoder;
    bool decoderMade;
    bool encoderMade;
    jvirt_barray_ptr* coefficients;
    // How the picture's blocks are turned for its pieces, where they are.
    bool turned;
    Turn turn;
    // What the encoder reads of a component: the picture's blocks, from the
    // piece's first row and column of blocks on (those of the picture turned,
    // where it is).
    struct PieceBlocks {
        jvirt_barray_ptr picture;
        int component;
        JDIMENSION row;
        JDIMENSION column;
        JBLOCKROW rows[MAX_SAMP_FACTOR];
        // A turned piece's blocks of the rows read last, in the encoder's
        // memory of the piece.
        JBLOCKARRAY turnedRows;
    } blocks[MAX_COMPONENTS];
    jvirt_barray_ptr pieceArrays[MAX_COMPONENTS];
};

void EndJpegCut::operator()(JpegCut* cut) const {
    if (cut->encoderMade) {
        jpeg_destroy_compress(&cut->encoder);
    }
    if (cut->decoderMade) {
        jpeg_destroy_decompress(&cut->decoder);
    }
    delete cut;
}

namespace {

JpegCut& CutOf(j_common_ptr common) {
    return *static_cast<JpegCut*>(common->client_data);
}

void ExitOnError(j_common_ptr common) {
    JpegCut& cut = CutOf(common);
    (*common->err->format_message)(common, cut.errors.error);
    std::longjmp(cut.errors.jump, 1);
}

void NoteMessage(j_common_ptr common, int level) {
    if (level >= 0) {
        return;  // a trace
    }
    JpegCut& cut = CutOf(common);
    if (common->err->num_warnings++ == 0) {
        (*common->err->format_message)(common, cut.errors.firstWarning);
    }
    cut.errors.warned = true;
}

// A progressive JPEG of too many scans ends the reading, as TurboJPEG's scan
// limit does.
void LimitScans(j_common_ptr common) {
    JpegCut& cut = CutOf(common);
    if (common->is_decompressor &&
        cut.decoder.input_scan_number > static_cast<int>(kMaxJpegScans)) {
        std::snprintf(cut.errors.error, sizeof cut.errors.error,
                      "Progressive JPEG image has more than %u scans", kMaxJpegScans);
        std::longjmp(cut.errors.jump, 1);
    }
}

// The picture is read from its file; at its end the library is given an end
// marker, and warns that the file is cut short, as its own readers do.
void StartSource(j_decompress_ptr decoder) {
    CutOf(reinterpret_cast<j_common_ptr>(decoder)).source.started = false;
}

boolean FillSource(j_decompress_ptr decoder) {
    JpegCut::Source& source = CutOf(reinterpret_cast<j_common_ptr>(decoder)).source;
    std::size_t count = std::fread(source.buffer, 1, sizeof source.buffer, source.file);
    if (count == 0) {
        if (!source.started) {
            ERREXIT(decoder, JERR_INPUT_EMPTY);
        }
        WARNMS(decoder, JWRN_JPEG_EOF);
        source.buffer[0] = 0xFF;
        source.buffer[1] = JPEG_EOI;
        count = 2;
    }
    source.manager.next_input_byte = source.buffer;
    source.manager.bytes_in_buffer = count;
    source.started = true;
    return TRUE;
}

void SkipSource(j_decompress_ptr decoder, long count) {
    jpeg_source_mgr& source = *decoder->src;
    if (count <= 0) {
        return;
    }
    while (count > static_cast<long>(source.bytes_in_buffer)) {
        count -= static_cast<long>(source.bytes_in_buffer);
        (*source.fill_input_buffer)(decoder);
    }
    source.next_input_byte += count;
    source.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void EndSource(j_decompress_ptr) {}

// A piece is written to its file through a buffer.
void WriteOut(j_compress_ptr encoder, std::size_t count) {
    JpegCut& cut = CutOf(reinterpret_cast<j_common_ptr>(encoder));
    errno = 0;
    if (std::fwrite(cut.destination.buffer, 1, count, cut.destination.file) != count) {
        cut.errors.writeError = errno != 0 ? errno : EIO;
        ERREXIT(encoder, JERR_FILE_WRITE);
    }
    cut.destination.manager.next_output_byte = cut.destination.buffer;
    cut.destination.manager.free_in_buffer = sizeof cut.destination.buffer;
}

void StartDestination(j_compress_ptr encoder) {
    WriteOut(encoder, 0);
}

boolean EmptyDestination(j_compress_ptr encoder) {
    WriteOut(encoder, JpegCut::kBufferSize);
    return TRUE;
}

void EndDestination(j_compress_ptr encoder) {
    WriteOut(encoder, JpegCut::kBufferSize - encoder->dest->free_in_buffer);
}

// A block's coefficients as the turn shows them: transposed, then mirrored,
// which negates the odd columns (left to right) or the odd rows (top to
// bottom) of the frequencies.
void TurnBlock(const JCOEF* from, JCOEF* to, Turn turn) {
    for (int v = 0; v < DCTSIZE; ++v) {
        for (int u = 0; u < DCTSIZE; ++u) {
            const JCOEF coefficient =
                turn.transpose ? from[u * DCTSIZE + v] : from[v * DCTSIZE + u];
            const bool negated = (turn.mirrorX && u % 2 == 1) != (turn.mirrorY && v % 2 == 1);
            to[v * DCTSIZE + u] = negated ? static_cast<JCOEF>(-coefficient) : coefficient;
        }
    }
}

// The encoder's rows of a turned piece's blocks: each block is the turn of
// the picture's block that comes to its place. Only the blocks inside the
// piece are made; the encoder makes those past its edges.
JBLOCKARRAY TurnedBlocks(JpegCut& cut, JpegCut::PieceBlocks& blocks, JDIMENSION startRow,
                         JDIMENSION rows) {
    const auto common = reinterpret_cast<j_common_ptr>(&cut.encoder);
    const jpeg_component_info& piece = cut.encoder.comp_info[blocks.component];
    if (blocks.turnedRows == nullptr) {
        blocks.turnedRows = (*common->mem->alloc_barray)(common, JPOOL_IMAGE, piece.width_in_blocks,
                                                         MAX_SAMP_FACTOR);
    }
    // The picture's blocks, as stored: where the turn mirrors an axis, the
    // picture has whole MCUs along it (see UnturnableEdges).
    const jpeg_component_info& stored = cut.decoder.comp_info[blocks.component];
    const Turn turn = cut.turn;
    // The picture transposed, before it is mirrored.
    const JDIMENSION width = turn.transpose ? stored.height_in_blocks : stored.width_in_blocks;
    const JDIMENSION height = turn.transpose ? stored.width_in_blocks : stored.height_in_blocks;
    for (JDIMENSION i = 0; i < rows && startRow + i < piece.height_in_blocks; ++i) {
        const JDIMENSION row = blocks.row + startRow + i;
        const JDIMENSION transposedRow = turn.mirrorY ? height - 1 - row : row;
        for (JDIMENSION j = 0; j < piece.width_in_blocks; ++j) {
            const JDIMENSION column = blocks.column + j;
            const JDIMENSION transposedColumn = turn.mirrorX ? width - 1 - column : column;
            const JDIMENSION storedRow = turn.transpose ? transposedColumn : transposedRow;
            const JDIMENSION storedColumn = turn.transpose ? transposedRow : transposedColumn;
            const JBLOCKARRAY picture = (*cut.decoder.mem->access_virt_barray)(
                reinterpret_cast<j_common_ptr>(&cut.decoder), blocks.picture, storedRow, 1, FALSE);
            TurnBlock(picture[0][storedColumn], blocks.turnedRows[i][j], turn);
        }
    }
    return blocks.turnedRows;
}

// The encoder's access to a piece's blocks: rows of the picture's own blocks,
// from the piece's first column on, or of the turned picture's. It reads them
// only.
JBLOCKARRAY AccessPieceBlocks(j_common_ptr common, jvirt_barray_ptr array, JDIMENSION startRow,
                              JDIMENSION rows, boolean writable) {
    JpegCut& cut = CutOf(common);
    JpegCut::PieceBlocks& blocks = *reinterpret_cast<JpegCut::PieceBlocks*>(array);
    if (writable || rows > MAX_SAMP_FACTOR) {
        ERREXIT(common, JERR_BAD_VIRTUAL_ACCESS);
    }
    if (cut.turned) {
        return TurnedBlocks(cut, blocks, startRow, rows);
    }
    const JBLOCKARRAY picture =
        (*cut.decoder.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&cut.decoder),
                                               blocks.picture, blocks.row + startRow, rows, FALSE);
    for (JDIMENSION i = 0; i < rows; ++i) {
        blocks.rows[i] = picture[i] + blocks.column;
    }
    return blocks.rows;
}

// A new cut of the picture in file, which stays the caller's.
JpegCut* MakeJpegCut(std::FILE* file) {
    auto* cut = new JpegCut();
    jpeg_std_error(&cut->errors.manager);
    cut->errors.manager.error_exit = ExitOnError;
    cut->errors.manager.emit_message = NoteMessage;
    cut->source.file = file;
    cut->source.manager.init_source = StartSource;
    cut->source.manager.fill_input_buffer = FillSource;
    cut->source.manager.skip_input_data = SkipSource;
    cut->source.manager.resync_to_restart = jpeg_resync_to_restart;
    cut->source.manager.term_source = EndSource;
    cut->destination.manager.init_destination = StartDestination;
    cut->destination.manager.empty_output_buffer = EmptyDestination;
    cut->destination.manager.term_destination = EndDestination;
    cut->progress.progress_monitor = LimitScans;
    for (auto* common : {reinterpret_cast<j_common_ptr>(&cut->decoder),
                         reinterpret_cast<j_common_ptr>(&cut->encoder)}) {
        common->err = &cut->errors.manager;
        common->client_data = cut;
    }
    return cut;
}

// The functions that run the library: each returns false when it failed, with
// errors.error saying why.

// Reads the picture's header, up to its first scan, saving every APPn and
// comment marker as the crop copies them.
bool ReadHeader(JpegCut& cut) {
    if (setjmp(cut.errors.jump) != 0) {
        return false;
    }
    cut.decoderMade = true;
    jpeg_create_decompress(&cut.decoder);
    cut.decoder.src = &cut.source.manager;
    jpeg_save_markers(&cut.decoder, JPEG_COM, 0xFFFF);
    for (int marker = JPEG_APP0; marker < JPEG_APP0 + 16; ++marker) {
        jpeg_save_markers(&cut.decoder, marker, 0xFFFF);
    }
    jpeg_read_header(&cut.decoder, TRUE);
    return true;
}

bool ReadCoefficients(JpegCut& cut) {
    if (setjmp(cut.errors.jump) != 0) {
        return false;
    }
    cut.decoder.progress = &cut.progress;
    cut.coefficients = jpeg_read_coefficients(&cut.decoder);
    return true;
}

// A piece: where it starts, in MCUs, its size, and the markers to copy into it.
struct PieceLayout {
    JDIMENSION mcuColumn;
    JDIMENSION mcuRow;
    JDIMENSION width;
    JDIMENSION height;
    // The picture's first marker is an EXIF segment, which stands in for the
    // JFIF header.
    bool exifFirst;
    const std::pair<int, std::string_view>* markers;
    std::size_t markerCount;
};

// The encoder's parameters (copied from the picture's) for a transposed
// picture: the pixels' aspect, each component's sampling factors and the
// quantization tables transposed, as transupp transposes them.
void TransposeParameters(j_compress_ptr encoder) {
    std::swap(encoder->X_density, encoder->Y_density);
    for (int i = 0; i < encoder->num_components; ++i) {
        jpeg_component_info& component = encoder->comp_info[i];
        std::swap(component.h_samp_factor, component.v_samp_factor);
    }
    for (JQUANT_TBL* table : encoder->quant_tbl_ptrs) {
        if (table == nullptr) {
            continue;
        }
        for (int row = 0; row < DCTSIZE; ++row) {
            for (int column = row + 1; column < DCTSIZE; ++column) {
                std::swap(table->quantval[row * DCTSIZE + column],
                          table->quantval[column * DCTSIZE + row]);
            }
        }
    }
}

bool WritePiece(JpegCut& cut, const PieceLayout& piece, std::FILE* file) {
    if (setjmp(cut.errors.jump) != 0) {
        return false;
    }
    const j_decompress_ptr picture = &cut.decoder;
    const j_compress_ptr encoder = &cut.encoder;
    if (!cut.encoderMade) {
        cut.encoderMade = true;
        jpeg_create_compress(encoder);
        encoder->dest = &cut.destination.manager;
        encoder->mem->access_virt_barray = AccessPieceBlocks;
    }
    cut.destination.file = file;
    jpeg_copy_critical_parameters(picture, encoder);
    if (cut.turned && cut.turn.transpose) {
        TransposeParameters(encoder);
    }
    // A grey picture's MCU is one block, whatever its sampling factors say.
    if (picture->num_components == 1) {
        encoder->comp_info[0].h_samp_factor = 1;
        encoder->comp_info[0].v_samp_factor = 1;
    }
    encoder->image_width = piece.width;
    encoder->image_height = piece.height;
    if (piece.exifFirst) {
        encoder->write_JFIF_header = FALSE;
    }
    if (picture->progressive_mode) {
        jpeg_simple_progression(encoder);
    }
    for (int i = 0; i < encoder->num_components; ++i) {
        const jpeg_component_info& component = encoder->comp_info[i];
        cut.blocks[i].picture = cut.coefficients[i];
        cut.blocks[i].component = i;
        cut.blocks[i].turnedRows = nullptr;
        cut.blocks[i].row = piece.mcuRow * static_cast<JDIMENSION>(component.v_samp_factor);
        cut.blocks[i].column = piece.mcuColumn * static_cast<JDIMENSION>(component.h_samp_factor);
        cut.pieceArrays[i] = reinterpret_cast<jvirt_barray_ptr>(&cut.blocks[i]);
    }
    jpeg_write_coefficients(encoder, cut.pieceArrays);
    // The library has written its own JFIF or Adobe marker where the colour
    // model has one; the picture's is left out then.
    for (std::size_t i = 0; i < piece.markerCount; ++i) {
        const auto& [marker, data] = piece.markers[i];
        if ((encoder->write_JFIF_header && marker == JPEG_APP0 &&
             data.substr(0, 5) == std::string_view("JFIF\0", 5)) ||
            (encoder->write_Adobe_marker && marker == JPEG_APP0 + 14 &&
             data.substr(0, 5) == "Adobe")) {
            continue;
        }
        jpeg_write_marker(encoder, marker, reinterpret_cast<const JOCTET*>(data.data()),
                          static_cast<unsigned>(data.size()));
    }
    jpeg_finish_compress(encoder);
    return true;
}

const std::string_view kExifStart("Exif\0\0", 6);
const std::string_view kXmpStart("http://ns.adobe.com/xap/1.0/\0", 29);
// The most data a marker segment holds: its length counts its own two bytes.
constexpr std::size_t kMaxSegmentData = 0xFFFF - 2;

std::string_view DataOf(const jpeg_marker_struct& saved) {
    return {reinterpret_cast<const char*>(saved.data), saved.data_length};
}

bool IsExif(const jpeg_marker_struct& saved) {
    return saved.marker == JPEG_APP0 + 1 &&
           DataOf(saved).substr(0, kExifStart.size()) == kExifStart;
}

// The picture's saved markers as a piece gets them: its EXIF segments and XMP
// packets made its own (see PieceExif and PieceXmp; upright where the picture
// is turned), JFXX thumbnails (of the whole picture) left out, every other
// marker as it is. made holds the rewritten segments.
std::vector<std::pair<int, std::string_view>> MarkersOfPiece(jpeg_saved_marker_ptr saved,
                                                             const PieceSpec& piece, bool upright,
                                                             std::deque<std::string>& made) {
    const auto width = static_cast<std::uint32_t>(piece.width);
    const auto height = static_cast<std::uint32_t>(piece.height);
    std::vector<std::pair<int, std::string_view>> markers;
    for (; saved != nullptr; saved = saved->next) {
        std::string_view data = DataOf(*saved);
        if (saved->marker == JPEG_APP0 && data.substr(0, 5) == std::string_view("JFXX\0", 5)) {
            continue;
        }
        if (IsExif(*saved)) {
            data = made.emplace_back(PieceExif(data, width, height, upright));
        } else if (saved->marker == JPEG_APP0 + 1 &&
                   data.substr(0, kXmpStart.size()) == kXmpStart) {
            std::string xmp(kXmpStart);
            xmp += PieceXmp(data.substr(kXmpStart.size()), width, height, upright);
            // A packet grown past what a segment holds stays the picture's.
            if (xmp.size() <= kMaxSegmentData) {
                data = made.emplace_back(std::move(xmp));
            }
        }
        markers.emplace_back(saved->marker, data);
    }
    return markers;
}

}  // namespace

LosslessPicture ReadLosslessPicture(PictureFile& file, bool shown) {
    const char* path = file.Path().c_str();
    LosslessPicture picture;
    picture.reading.reset(MakeJpegCut(file.Stream()));
    JpegCut& cut = *picture.reading;

    PictureInput& source = file.Input();
    const std::optional<PictureClaim> claim = ReadPictureClaim(FIF_JPEG, source);
    if (!claim) {
        RefuseInput(path, NeedsClaim(FIF_JPEG, source)
                              ? "Its header is damaged: the picture's size can't be read."
                              : "Not a JPEG file.");
    }
    // The cut holds every coefficient of the picture, and writes the pieces
    // from them.
    PictureClaim coefficients = *claim;
    coefficients.bitsPerPixel = 0;
    coefficients.decoderBytes = claim->coefficientBytes;
    if (const auto reason =
            RefusalOfClaim(coefficients, source.Size(), platform::AvailableMemory())) {
        RefuseInput(path, *reason);
    }

    if (std::fseek(file.Stream(), 0, SEEK_SET) != 0) {
        RefuseInput(path, "");
    }
    if (!ReadHeader(cut)) {
        RefuseInput(path, cut.errors.error);
    }
    if (cut.errors.warned) {
        RefuseInput(path, cut.errors.firstWarning);
    }
    const jpeg_decompress_struct& header = cut.decoder;
    if (header.image_width != claim->width || header.image_height != claim->height) {
        RefuseInput(path, "It changed while it was being read.");
    }
    picture.facts.width = header.image_width;
    picture.facts.height = header.image_height;
    // The library crops a grey picture by blocks, any other by MCUs.
    const bool grey = header.num_components == 1;
    picture.facts.blockWidth = grey ? DCTSIZE : header.max_h_samp_factor * DCTSIZE;
    picture.facts.blockHeight = grey ? DCTSIZE : header.max_v_samp_factor * DCTSIZE;
    picture.facts.dotsPerMeterX = claim->dotsPerMeterX;
    picture.facts.dotsPerMeterY = claim->dotsPerMeterY;
    if (!shown) {
        return picture;
    }
    // Viewers turn the picture by its last EXIF segment, as the image library
    // keeps the last.
    std::string_view exif;
    for (jpeg_saved_marker_ptr saved = header.marker_list; saved != nullptr; saved = saved->next) {
        if (IsExif(*saved)) {
            exif = DataOf(*saved);
        }
    }
    picture.orientation = ExifOrientation(exif);
    PictureFacts& facts = picture.facts;
    if (const auto reason = UnturnableEdges(path, picture.orientation, facts.width, facts.height,
                                            facts.blockWidth, facts.blockHeight)) {
        Fatal("%s", reason->c_str());
    }
    if (TurnOfOrientation(picture.orientation).transpose) {
        std::swap(facts.width, facts.height);
        std::swap(facts.dotsPerMeterX, facts.dotsPerMeterY);
        std::swap(facts.blockWidth, facts.blockHeight);
    }
    return picture;
}

void RequireJpegNames(const std::vector<PieceSpec>& pieces) {
    for (const PieceSpec& piece : pieces) {
        if (FormatForName(piece.name) != FIF_JPEG) {
            Fatal("-lossless makes JPEG pieces only, and %s is no JPEG name.", piece.name.c_str());
        }
    }
}

void SaveLosslessPieces(LosslessPicture& picture, PictureFile& file,
                        const std::vector<PieceSpec>& pieces, bool keepInput) {
    const std::string path = file.Path();
    PieceSet set(pieces, keepInput ? path.c_str() : nullptr);
    if (pieces.empty()) {
        return;
    }

    JpegCut& cut = *picture.reading;
    if (!ReadCoefficients(cut)) {
        RefuseInput(path.c_str(), cut.errors.error);
    }
    // A warning still gives pieces; one that says pixels were lost refuses them.
    if (cut.errors.warned && ReportsDamage(cut.errors.firstWarning)) {
        RefuseInput(path.c_str(), cut.errors.firstWarning);
    }
    // Every block is in memory: a piece may now replace the picture.
    cut.source.file = nullptr;
    file.Close();

    // The crop writes each piece's size into the picture's first segment
    // where that is an EXIF one, piece after piece.
    const jpeg_saved_marker_ptr first = cut.decoder.marker_list;
    const bool exifFirst = first != nullptr && IsExif(*first);
    cut.turned = picture.orientation != 1;
    cut.turn = TurnOfOrientation(picture.orientation);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const PieceSpec& spec = pieces[i];
        PieceLayout layout{};
        layout.mcuColumn = static_cast<JDIMENSION>(spec.left / picture.facts.blockWidth);
        layout.mcuRow = static_cast<JDIMENSION>(spec.top / picture.facts.blockHeight);
        layout.width = static_cast<JDIMENSION>(spec.width);
        layout.height = static_cast<JDIMENSION>(spec.height);
        layout.exifFirst = exifFirst;
        // (It compares the piece with the picture as stored, turned or not.)
        if (exifFirst && (layout.width != cut.decoder.image_width ||
                          layout.height != cut.decoder.image_height)) {
            std::string exif(DataOf(*first));
            SetCropExifSize(exif, layout.width, layout.height);
            std::memcpy(first->data, exif.data(), exif.size());
        }
        std::deque<std::string> made;
        const auto markers = MarkersOfPiece(cut.decoder.marker_list, spec, cut.turned, made);
        layout.markers = markers.data();
        layout.markerCount = markers.size();
        set.SaveWith(i, [&](std::FILE* stream) {
            if (WritePiece(cut, layout, stream)) {
                return 0;
            }
            if (cut.errors.manager.msg_code == JERR_FILE_WRITE) {
                return cut.errors.writeError;
            }
            RefuseInput(path.c_str(), cut.errors.error);
        });
    }
    set.Commit();
}

}  // namespace kerfo
