// The page of an archive bundle (documents of type 'O'): the bodies of its documents and
// a small table per embedded document with a link to it.
#include "converters.h"
#include "embedded_pages.h"
#include "utf8_text.h"

namespace qelwww::detail {

namespace {

constexpr uint32_t kUtf8 = 1208;
constexpr std::string_view kDocBegin = "QK-Doc-Bgn";
constexpr std::string_view kBodyBegin = "QK-Doc-Bdy-Bgn";
constexpr std::string_view kBodyEnd = "QK-Doc-Bdy-End";
constexpr std::string_view kDocEnd = "QK-Doc-End";
constexpr std::string_view kEmbeddedName = "QK-Doc-Emb-Doc-Name";
constexpr std::string_view kObjectName = "QK-Doc-Emb-Doc-Obj-Name";
constexpr std::string_view kObjectOffset = "QK-Doc-Emb-Doc-Obj-Off";
constexpr std::string_view kObjectLength = "QK-Doc-Emb-Doc-Obj-Len";
constexpr std::string_view kStoredOffset = "QK-Doc-Emb-Doc-Obj-CompOff";
constexpr std::string_view kStoredLength = "QK-Doc-Emb-Doc-Obj-CompLen";

// What the page shows, in the bundle's order: a body line or an embedded document.
struct BundleItem {
    std::string_view line;
    std::optional<Attachment> attachment;
};

class BundleReader {
public:
    explicit BundleReader(std::string_view data) : data_(data) {}

    // False with *bad naming the field in error.
    bool Read(std::vector<BundleItem>* items, BadField* bad) {
        items_ = items;
        bad_ = bad;
        bool inBody = false;
        for (std::string_view line : SplitLines(data_)) {
            const size_t equals = line.find('=');
            const std::string_view key = line.substr(0, equals);
            const std::string_view value =
                equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
            if (inBody) {
                // Body lines are text: only the end marker means something there.
                if (key == kBodyEnd)
                    inBody = false;
                else
                    items_->push_back({line, std::nullopt});
                continue;
            }
            if (key == kDocBegin || key == kDocEnd) {
                if (!ClosePending()) return false;
            } else if (key == kBodyBegin) {
                if (!ClosePending()) return false;
                inBody = true;
            } else if (key == kEmbeddedName) {
                if (!ClosePending()) return false;
                pending_.emplace();
                pending_->name = std::string(value);
                pending_->extension = ExtensionOf(value);
            } else if (key == kObjectOffset || key == kObjectLength || key == kStoredOffset ||
                       key == kStoredLength || key == kObjectName) {
                if (!TakeObjectField(key, value)) return Bad(key);
            }
        }
        return ClosePending();
    }

private:
    bool Bad(std::string_view key) {
        bad_->key = std::string(key);
        return false;
    }

    // A field of the embedded document named last. The stored (compressed) place is the
    // object's in the archive, not in this data: only its form is checked.
    bool TakeObjectField(std::string_view key, std::string_view value) {
        if (!pending_) return false;
        if (key == kObjectName) return true;
        const std::optional<uint64_t> number = ParseCount(value);
        if (!number) return false;
        if (key == kObjectOffset) {
            pending_->offset = *number;
            pending_->hasOffset = true;
        } else if (key == kObjectLength) {
            pending_->length = *number;
            pending_->hasLength = true;
        }
        return true;
    }

    bool ClosePending() {
        if (!pending_) return true;
        if (!pending_->hasOffset) return Bad(kObjectOffset);
        if (!pending_->hasLength || !InsideData(pending_->offset, pending_->length, data_.size()))
            return Bad(kObjectLength);
        items_->push_back({std::string_view(), std::move(pending_)});
        pending_.reset();
        return true;
    }

    std::string_view data_;
    std::vector<BundleItem>* items_ = nullptr;
    BadField* bad_ = nullptr;
    std::optional<Attachment> pending_;
};

}  // namespace

int RenderEmailBundle(const QelWWWConfig* config, QelWWWSession* session, OpenFolder*, const SearchHit*,
                      std::string_view data, std::string_view docId, const std::string&) {
    std::vector<BundleItem> items;
    BadField bad;
    if (!BundleReader(data).Read(&items, &bad)) {
        QelWWW_ReportText(config, session, false, QELWWW_MSG_BAD_VALUE, {bad.key});
        return 1;
    }
    QelWWWResponse& r = *session->response;
    r.SetSourceCodePage(kUtf8);
    r.SetTargetCodePage(kUtf8);
    QelWWW_WriteHeader(config, session);
    const std::string image = config->imageDir + "qkic_att.gif";
    for (const BundleItem& item : items) {
        if (!item.attachment) {
            WriteTextLine(session, ConfiguredToUtf8(config, item.line));
            continue;
        }
        WriteAttachmentTable(session, AttachmentUrl(config, session, docId, *item.attachment), image,
                             ConfiguredToUtf8(config, item.attachment->name));
    }
    QelWWW_WriteTrailer(config, session);
    return 0;
}

}  // namespace qelwww::detail
