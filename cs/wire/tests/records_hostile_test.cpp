// Hostile records: every reader of outside bytes is fed truncated, overwritten and
// flipped versions of real records. Each must decode exactly as the independent reader
// of docs/wire.md (wire_reader.py) reads it: refused where it is refused, and otherwise
// read to the same byte, as a record that encodes again. The sanitizers watch for
// crashes and leaks.
#include "wire_test_support.h"

#include "arc_byteorder.h"

#include <gtest/gtest.h>

#include <functional>

using namespace wire_test;

namespace {

constexpr uint32_t kAllFeatures = 0x1F;
constexpr char kGroupTypes[] = "BDINSTX";  // the field types of Sample::Group()

struct Sampled {
    const char* name;
    bool request;
    Bytes bytes;
    uint32_t features;
};

Bytes EncodeReply(CsReplyRecord* r, uint32_t features) {
    QelXdrBuffer out(QELXDR_ENCODE);
    OpenCodePages(out.Xdr());
    out.Xdr()->features = features;
    EXPECT_TRUE(CsXdrResponse(out.Xdr(), r));
    return out.Bytes();
}

const CsXdrApplGroup* SharedGroup();

Bytes EncodeRequest(CsRequestRecord* r, uint32_t features) {
    QelXdrBuffer out(QELXDR_ENCODE);
    OpenCodePages(out.Xdr());
    out.Xdr()->features = features;
    out.Xdr()->group = SharedGroup();
    EXPECT_TRUE(CsXdrRequest(out.Xdr(), r));
    return out.Bytes();
}

Sample& Shared() {
    static Sample sample;
    return sample;
}

const CsXdrApplGroup* SharedGroup() {
    static const CsXdrApplGroup* group = Shared().Group();
    return group;
}

std::vector<Sampled> Samples() {
    Sample& s = Shared();
    std::vector<Sampled> out;
    using Fill = std::function<void(CsReplyRecord&)>;
    const std::pair<const char*, Fill> replies[] = {
        {"logon",
         [&](CsReplyRecord& r) {
             r.code = 3;
             r.body.logon.user = *s.User();
             r.body.logon.logon = s.Logon();
             r.body.logon.parms = s.Parms();
         }},
        {"folder",
         [&](CsReplyRecord& r) {
             r.code = 121;
             r.body.folderEntry.folder = s.Folder();
         }},
        {"hit",
         [&](CsReplyRecord& r) {
             r.code = 112;
             r.body.hit.hit = s.Hit();
         }},
        {"data piece",
         [&](CsReplyRecord& r) {
             r.code = 101;
             r.body.data.piece = s.Piece('O', "abcdefgh");
         }},
        {"note",
         [&](CsReplyRecord& r) {
             r.code = 69;
             r.body.note.note = s.Note();
         }},
        {"value list",
         [&](CsReplyRecord& r) {
             r.code = 104;
             r.body.values.items = s.List(3);
         }},
        {"storage set",
         [&](CsReplyRecord& r) {
             r.code = 53;
             r.body.storageSet.set = s.StorageSet();
         }},
        {"token",
         [&](CsReplyRecord& r) {
             r.code = 108;
             r.body.token.token = s.Text("TOKEN");
             r.body.token.length = 5;
         }},
    };
    for (const auto& [name, fill] : replies) {
        for (uint32_t features : {kAllFeatures, 0u}) {
            CsReplyRecord r{};
            r.text = s.Text("t");
            Set(r.message, "m");
            r.group = SharedGroup();
            fill(r);
            out.push_back({name, false, EncodeReply(&r, features), features});
        }
    }
    CsRequestRecord store{};
    store.handle = s.Handle(0x50100000, 0x145);
    store.code = 96;
    store.body.store.first = 1;
    store.body.store.group = s.Group();
    store.body.store.block = s.Hit();
    store.body.store.object = s.Object();
    out.push_back({"store request", true, EncodeRequest(&store, 0), 0});
    CsRequestRecord items{};
    items.code = 104;
    items.body.hitItems.more = 1;
    items.body.hitItems.appl = s.Appl();
    items.body.hitItems.hit = s.Hit();
    out.push_back({"hit items request", true, EncodeRequest(&items, kAllFeatures), kAllFeatures});
    return out;
}

struct Outcome {
    bool ok;
    size_t remaining;  // bytes after the record, when it decoded
};

// Decodes; on success encodes the result again, which must work.
Outcome DecodeAndReencode(const Sampled& sample, const Bytes& bytes, const std::string& what) {
    QelXdrBuffer in(QELXDR_DECODE, bytes);
    OpenCodePages(in.Xdr());
    in.Xdr()->features = sample.features;
    in.Xdr()->group = SharedGroup();
    bool ok = false;
    QelXdrBuffer out(QELXDR_ENCODE);
    OpenCodePages(out.Xdr());
    out.Xdr()->features = sample.features;
    out.Xdr()->group = SharedGroup();
    if (sample.request) {
        CsRequestRecord r{};
        ok = CsXdrRequest(in.Xdr(), &r);
        if (ok) {
            EXPECT_TRUE(CsXdrRequest(out.Xdr(), &r)) << what;
        }
        CsFreeRequestRecord(&r);
    } else {
        CsReplyRecord r{};
        r.group = SharedGroup();
        ok = CsXdrResponse(in.Xdr(), &r);
        if (ok) {
            EXPECT_TRUE(CsXdrResponse(out.Xdr(), &r)) << what;
        }
        CsFreeReplyRecord(&r);
    }
    return {ok, ok ? in.Remaining() : 0};
}

// Hostile inputs, decoded as they are added; the independent reader then reads them all
// in one process (one per sample costs minutes) and must answer as the decoder did:
// "END n" (read, n bytes left over) or "ERROR".
class Agreement {
public:
    explicit Agreement(const std::vector<Sampled>& samples) : samples_(samples) {}

    void Add(size_t sample, std::string what, const Bytes& bytes) {
        const Sampled& s = samples_[sample];
        const Outcome outcome = DecodeAndReencode(s, bytes, what);
        input_ += std::string(s.request ? "request " : "reply ") + std::to_string(s.features) + " " +
                  Hex(bytes) + "\n";
        decoded_.push_back(
            {sample, std::move(what), outcome.ok ? "END " + std::to_string(outcome.remaining) : "ERROR"});
    }

    // Compares with the reader; returns how many inputs of each sample were refused.
    std::vector<size_t> Check() const {
        std::vector<size_t> refused(samples_.size());
        const std::vector<std::string> answers =
            PythonLines(WIRE_TESTS_DIR "/wire_reader.py", {"batch", "{}", kGroupTypes},
                        std::span(reinterpret_cast<const unsigned char*>(input_.data()), input_.size()));
        EXPECT_EQ(answers.size(), decoded_.size());
        if (answers.size() != decoded_.size()) return refused;
        for (size_t i = 0; i < decoded_.size(); ++i) {
            const Decoded& d = decoded_[i];
            const std::string& reader = answers[i];
            EXPECT_EQ(d.outcome, reader.starts_with("ERROR") ? std::string("ERROR") : reader)
                << d.what << " (reader: " << reader << ")";
            refused[d.sample] += d.outcome == "ERROR" ? 1 : 0;
        }
        return refused;
    }

private:
    struct Decoded {
        size_t sample;
        std::string what;
        std::string outcome;
    };
    const std::vector<Sampled>& samples_;
    std::string input_;
    std::vector<Decoded> decoded_;
};

TEST(HostileRecords, EveryTruncationFails) {
    for (const Sampled& s : Samples()) {
        const Outcome whole = DecodeAndReencode(s, s.bytes, s.name);
        ASSERT_TRUE(whole.ok) << s.name;
        EXPECT_EQ(whole.remaining, 0u) << s.name;
        for (size_t cut = 0; cut < s.bytes.size(); ++cut) {
            const Bytes shorter(s.bytes.begin(), s.bytes.begin() + cut);
            EXPECT_FALSE(DecodeAndReencode(s, shorter, s.name).ok) << s.name << " cut at " << cut;
        }
    }
}

TEST(HostileRecords, HostileWordsAtEveryPositionDecodeAsTheReaderReads) {
    const uint32_t kWords[] = {0, 1, 2, 7, 8, 19, 8193, 65535, 65536, 0x7FFFFFFF, 0xFFFFFFFF};
    const std::vector<Sampled> samples = Samples();
    Agreement agreement(samples);
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sampled& s = samples[i];
        for (size_t at = 0; at + 4 <= s.bytes.size(); at += 4) {
            for (uint32_t word : kWords) {
                Bytes bad = s.bytes;
                QelPutBE32(word, bad.data() + at);
                agreement.Add(
                    i, std::string(s.name) + " word " + std::to_string(word) + " at " + std::to_string(at),
                    bad);
            }
        }
    }
    const std::vector<size_t> refused = agreement.Check();
    // Every record has a count or a length that 0xFFFFFFFF makes impossible.
    for (size_t i = 0; i < samples.size(); ++i) EXPECT_GT(refused[i], 0u) << samples[i].name;
}

TEST(HostileRecords, FlippedBytesDecodeAsTheReaderReads) {
    const std::vector<Sampled> samples = Samples();
    Agreement agreement(samples);
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sampled& s = samples[i];
        for (size_t at = 0; at < s.bytes.size(); ++at) {
            Bytes bad = s.bytes;
            bad[at] ^= 0xFF;
            agreement.Add(i, std::string(s.name) + " flip at " + std::to_string(at), bad);
        }
    }
    const std::vector<size_t> refused = agreement.Check();
    for (size_t i = 0; i < samples.size(); ++i) EXPECT_GT(refused[i], 0u) << samples[i].name;
}

// Hostile values, each at the place where it matters, beside a control that differs
// only in that value and decodes.
TEST(HostileRecords, NamedHostileValuesAreRefused) {
    struct Case {
        const char* name;
        const char* hex;  // a reply at features 0
        bool withGroup;
        bool ok;
    };
    const Case cases[] = {
        {"presence word 2",
         "00000000"
         "0000000d"
         "00000002",
         false, false},
        {"control: presence word 1",
         "00000000"
         "0000000d"
         "00000001",
         false, true},
        {"entry text of odd length",
         "00000000"
         "0000000d"
         "00000000"
         "00000007"
         "00000003"
         "00410000"
         "00000000",
         false, false},
        {"control: even length",
         "00000000"
         "0000000d"
         "00000000"
         "00000007"
         "00000004"
         "00410000"
         "00000000",
         false, true},
        {"entry text of huge length",
         "00000000"
         "0000000d"
         "00000000"
         "00000007"
         "7fffffff"
         "00410000"
         "00000000",
         false, false},
        {"storage set with 65536 nodes",
         "00000000"
         "00000035"
         "00000000"
         "00000000"
         "4c000000"
         "00010000",
         false, false},
        {"storage set with 0xFFFFFFFF nodes",
         "00000000"
         "00000035"
         "00000000"
         "00000000"
         "4c000000"
         "ffffffff",
         false, false},
        {"control: no nodes",
         "00000000"
         "00000035"
         "00000000"
         "00000000"
         "4c000000"
         "00000000",
         false, true},
        {"hit with more slots than fields",
         "00000000"
         "00000070"
         "00000000"
         "00000000"
         "00000001"
         "00000000"
         "00000008",
         true, false},
        {"hit with slots and no group",
         "00000000"
         "00000070"
         "00000000"
         "00000000"
         "00000001"
         "00000000"
         "00000000",
         false, false},
        {"control: hit with no slots",
         "00000000"
         "00000070"
         "00000000"
         "00000000"
         "00000001"
         "00000000"
         "00000000",
         true, true},
        {"data piece longer than its limit",
         "00000000"
         "00000058"
         "00000000"
         "4f000000"
         "00000000"
         "00000000"
         "01000001",
         false, false},
        {"control: empty data piece",
         "00000000"
         "00000058"
         "00000000"
         "4f000000"
         "00000000"
         "00000000"
         "00000000",
         false, true},
        {"list item presence word 2",
         "00000000"
         "00000068"
         "00000000"
         "00000001"
         "00000000"
         "00000002",
         false, false},
        {"control: list of one item",
         "00000000"
         "00000068"
         "00000000"
         "00000001"
         "00000000"
         "00000001",
         false, true},
        {"token above its limit",
         "00000000"
         "0000006c"
         "00010001",
         false, false},
    };
    for (const Case& c : cases) {
        QelXdrBuffer in(QELXDR_DECODE, FromHex(c.hex));
        OpenCodePages(in.Xdr());
        CsReplyRecord r{};
        r.group = c.withGroup ? SharedGroup() : nullptr;
        EXPECT_EQ(CsXdrResponse(in.Xdr(), &r), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(in.Remaining(), 0u) << c.name;
        }
        CsFreeReplyRecord(&r);
    }
}

}  // namespace
