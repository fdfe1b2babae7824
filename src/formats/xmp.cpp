// The XMP packet of a piece, rewritten in a copy of the picture's.
//
// The packet is read as a sequence of text and markup, as far as this
// program needs it (no entities are expanded, no document type is read):
//   packet      = { text | markup }
//   markup      = comment | instruction | cdata | declaration | end-tag | start-tag
//   comment     = "<!--" ... "-->"
//   instruction = "<?" ... "?>"            (the <?xpacket ...?> header and trailer)
//   cdata       = "<![CDATA[" ... "]]>"
//   declaration = "<!" ... ">"
//   start-tag   = "<" name { spaces attribute } [spaces] ["/"] ">"
//   end-tag     = "</" name [spaces] ">"    (the name of the open element)
//   attribute   = name [spaces] "=" [spaces] ( '"' value '"' | "'" value "'" )
//   name        = [prefix ":"] local
// A start tag's attributes xmlns:prefix="uri" (and xmlns="uri", for names
// without a prefix) bind prefixes for the element and everything inside it;
// the prefixes exif and tiff, where nothing binds them, stand for their
// usual namespaces. A property of the picture's size (or orientation) is an
// attribute whose name is in its namespace, or an element whose name is,
// holding only text and closed right behind it:
//   exif:PixelXDimension="4000"
//   <exif:PixelXDimension>4000</exif:PixelXDimension>
// Its value is rewritten where it is a decimal number (spaces around it
// stay). A packet that doesn't read so is left as it is.

#include "formats/xmp.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace kerfo {
namespace {

constexpr std::string_view kExifNamespace = "http://ns.adobe.com/exif/1.0/";
constexpr std::string_view kTiffNamespace = "http://ns.adobe.com/tiff/1.0/";

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameCharacter(char c) {
    return !IsSpace(c) && c != '<' && c != '>' && c != '/' && c != '=' && c != '"' && c != '\'';
}

// Where the digits of a decimal number start in text and how many there are,
// where text holds nothing else but spaces around it.
std::optional<std::pair<std::size_t, std::size_t>> NumberIn(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    std::size_t end = start;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
        ++end;
    }
    if (start == std::string_view::npos || end == start ||
        text.find_first_not_of(" \t\r\n", end) != std::string_view::npos) {
        return std::nullopt;
    }
    return std::pair{start, end - start};
}

struct Property {
    std::string_view space;
    std::string_view name;
    std::string value;
};

// A replacement of length bytes at an offset of the packet.
struct Edit {
    std::size_t at;
    std::size_t length;
    std::string text;
};

// Reads a packet by the grammar above and collects the edits that give its
// properties their new values.
class PacketReader {
  public:
    PacketReader(std::string_view text, const std::vector<Property>& properties)
        : text_(text), properties_(properties) {}

    // False where the packet doesn't read.
    bool Read() {
        for (at_ = text_.find('<'); at_ != std::string_view::npos; at_ = text_.find('<', at_)) {
            if (!ReadMarkup()) {
                return false;
            }
        }
        return true;
    }
    const std::vector<Edit>& Edits() const { return edits_; }

  private:
    struct Element {
        std::string_view name;
        std::vector<std::pair<std::string_view, std::string_view>> bindings;  // prefix, uri
    };

    bool StartsWith(std::string_view start) const {
        return text_.substr(at_, start.size()) == start;
    }
    bool SkipPast(std::string_view start, std::string_view end) {
        const std::size_t found = text_.find(end, at_ + start.size());
        at_ = found == std::string_view::npos ? found : found + end.size();
        return found != std::string_view::npos;
    }
    void SkipSpaces() {
        while (at_ < text_.size() && IsSpace(text_[at_])) {
            ++at_;
        }
    }
    std::string_view ReadName() {
        const std::size_t start = at_;
        while (at_ < text_.size() && IsNameCharacter(text_[at_])) {
            ++at_;
        }
        return text_.substr(start, at_ - start);
    }

    bool ReadMarkup() {
        static constexpr std::pair<std::string_view, std::string_view> kSkipped[] = {
            {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}, {"<!", ">"}};
        for (const auto& [start, end] : kSkipped) {
            if (StartsWith(start)) {
                return SkipPast(start, end);
            }
        }
        return StartsWith("</") ? ReadEndTag() : ReadStartTag();
    }

    bool ReadEndTag() {
        at_ += 2;
        const std::string_view name = ReadName();
        SkipSpaces();
        if (!StartsWith(">") || open_.empty() || open_.back().name != name) {
            return false;
        }
        ++at_;
        open_.pop_back();
        return true;
    }

    bool ReadStartTag() {
        ++at_;
        Element element{ReadName(), {}};
        if (element.name.empty()) {
            return false;
        }
        std::vector<std::pair<std::string_view, std::string_view>> attributes;  // name, value
        bool empty = false;
        for (;;) {
            SkipSpaces();
            if (StartsWith(">") || StartsWith("/>")) {
                empty = StartsWith("/>");
                at_ += empty ? 2 : 1;
                break;
            }
            const std::string_view name = ReadName();
            SkipSpaces();
            if (name.empty() || !StartsWith("=")) {
                return false;
            }
            ++at_;
            SkipSpaces();
            const std::size_t end =
                StartsWith("\"") || StartsWith("'") ? text_.find(text_[at_], at_ + 1) : at_;
            if (end == std::string_view::npos || end == at_) {
                return false;
            }
            const std::string_view value = text_.substr(at_ + 1, end - at_ - 1);
            if (name == "xmlns" || name.substr(0, 6) == "xmlns:") {
                element.bindings.emplace_back(name.substr(std::min<std::size_t>(name.size(), 6)),
                                              value);
            } else {
                attributes.emplace_back(name, value);
            }
            at_ = end + 1;
        }
        open_.push_back(std::move(element));
        for (const auto& [name, value] : attributes) {
            // An attribute without a prefix is in no namespace.
            if (name.find(':') != std::string_view::npos) {
                Change(Find(name), value);
            }
        }
        const std::string_view name = open_.back().name;
        if (empty) {
            open_.pop_back();
        } else if (const Property* property = Find(name)) {
            const std::size_t end = text_.find('<', at_);
            const std::string endTag = "</" + std::string(name);
            if (end != std::string_view::npos && text_.substr(end, endTag.size()) == endTag &&
                end + endTag.size() < text_.size() &&
                !IsNameCharacter(text_[end + endTag.size()])) {
                Change(property, text_.substr(at_, end - at_));
            }
        }
        return true;
    }

    // The property that a name stands for in the open elements, or none.
    const Property* Find(std::string_view name) const {
        const std::size_t colon = name.find(':');
        const std::string_view prefix =
            colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
        const std::string_view local =
            colon == std::string_view::npos ? name : name.substr(colon + 1);
        std::string_view space = prefix == "exif"   ? kExifNamespace
                                 : prefix == "tiff" ? kTiffNamespace
                                                    : std::string_view();
        for (auto element = open_.rbegin(); element != open_.rend(); ++element) {
            const auto bound =
                std::find_if(element->bindings.rbegin(), element->bindings.rend(),
                             [prefix](const auto& binding) { return binding.first == prefix; });
            if (bound != element->bindings.rend()) {
                space = bound->second;
                break;
            }
        }
        for (const Property& property : properties_) {
            if (!space.empty() && property.space == space && property.name == local) {
                return &property;
            }
        }
        return nullptr;
    }

    // Gives the property its value where text (a view into the packet) holds
    // a number.
    void Change(const Property* property, std::string_view text) {
        if (property == nullptr) {
            return;
        }
        if (const auto number = NumberIn(text)) {
            const auto at = static_cast<std::size_t>(text.data() - text_.data());
            edits_.push_back({at + number->first, number->second, property->value});
        }
    }

    std::string_view text_;
    const std::vector<Property>& properties_;
    std::size_t at_ = 0;
    std::vector<Element> open_;
    std::vector<Edit> edits_;
};

}  // namespace

std::string PieceXmp(std::string_view xmp, std::uint32_t width, std::uint32_t height,
                     bool upright) {
    std::vector<Property> properties = {
        {kExifNamespace, "PixelXDimension", std::to_string(width)},
        {kExifNamespace, "PixelYDimension", std::to_string(height)},
        {kTiffNamespace, "ImageWidth", std::to_string(width)},
        {kTiffNamespace, "ImageLength", std::to_string(height)},
    };
    if (upright) {
        properties.push_back({kTiffNamespace, "Orientation", "1"});
    }
    PacketReader reader(xmp, properties);
    if (!reader.Read() || reader.Edits().empty()) {
        return std::string(xmp);
    }
    std::string piece;
    std::size_t from = 0;
    for (const Edit& edit : reader.Edits()) {
        piece.append(xmp.substr(from, edit.at - from)).append(edit.text);
        from = edit.at + edit.length;
    }
    piece.append(xmp.substr(from));

    // The packet keeps its length where it has padding to give or take: the
    // spaces before its trailer, all but the last of them (a line feed, as
    // writers end the padding).
    const std::size_t trailer = piece.rfind("<?xpacket end=");
    std::size_t padding = trailer;
    while (padding != std::string::npos && padding > 0 && IsSpace(piece[padding - 1])) {
        --padding;
    }
    if (padding != std::string::npos && padding < trailer) {
        if (piece.size() > xmp.size()) {
            const std::size_t growth = std::min(piece.size() - xmp.size(), trailer - padding);
            piece.erase(trailer - padding > growth ? trailer - 1 - growth : padding, growth);
        } else {
            piece.insert(trailer - 1, xmp.size() - piece.size(), ' ');
        }
    }
    return piece.size() > kLongestJpegXmp && piece.size() > xmp.size() ? std::string(xmp) : piece;
}

}  // namespace kerfo
