// Tests of the shared static-Huffman LZ77 decoder: every -lh5-/-lh6-/-lh7- fixture member
// decoded and compared with liblhasa's output, then hand-made broken streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <lhasa.h>
}

#include "lzhuff.h"

namespace {

using Bytes = std::vector<unsigned char>;

class MemInput : public lzhuff::Input {
 public:
  explicit MemInput(const Bytes& b, size_t chunk = 1 << 20) : b_(b), chunk_(chunk) {}
  long Read(unsigned char* buf, size_t max) override {
    size_t n = std::min({max, b_.size() - at_, chunk_});
    std::memcpy(buf, b_.data() + at_, n);
    at_ += n;
    return static_cast<long>(n);
  }
  size_t at() const { return at_; }

 private:
  const Bytes& b_;
  size_t chunk_;
  size_t at_ = 0;
};

class FailingInput : public lzhuff::Input {
 public:
  long Read(unsigned char*, size_t) override { return -1; }
};

class MemOutput : public lzhuff::Output {
 public:
  bool Write(const unsigned char* d, size_t n) override {
    if (fail) return false;
    data.insert(data.end(), d, d + n);
    ++writes;
    return true;
  }
  Bytes data;
  int writes = 0;
  bool fail = false;
};

lzhuff::Status DecodeBytes(const lzhuff::Format& f, const Bytes& in, uint64_t outSize, Bytes* out,
                           uint64_t compressedSize = ~uint64_t{0}) {
  MemInput input(in);
  MemOutput output;
  const auto s = lzhuff::Decode(f, input, compressedSize == ~uint64_t{0} ? in.size() : compressedSize,
                                outSize, output);
  if (out != nullptr) *out = output.data;
  return s;
}

Bytes ReadFile(const std::string& path) {
  Bytes b;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return b;
  unsigned char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
  std::fclose(f);
  return b;
}

// An input stream for liblhasa over a byte vector that tells where it is.
struct LhaStream {
  const Bytes* data;
  size_t at = 0;
  static int Read(void* h, void* buf, size_t len) {
    auto* s = static_cast<LhaStream*>(h);
    size_t n = std::min(len, s->data->size() - s->at);
    std::memcpy(buf, s->data->data() + s->at, n);
    s->at += n;
    return static_cast<int>(n);
  }
  static int Skip(void* h, size_t len) {
    auto* s = static_cast<LhaStream*>(h);
    if (len > s->data->size() - s->at) return 0;
    s->at += len;
    return 1;
  }
  static void Close(void*) {}
};

const lzhuff::Format* FormatFor(const std::string& method) {
  if (method == "-lh4-") return &lzhuff::kLh4;
  if (method == "-lh5-") return &lzhuff::kLh5;
  if (method == "-lh6-") return &lzhuff::kLh6;
  if (method == "-lh7-") return &lzhuff::kLh7;
  return nullptr;
}

struct Member {
  std::string name;
  std::string method;
  Bytes compressed;
  Bytes expected;  // liblhasa's output
  uint16_t crc;
};

std::vector<Member> Members(const std::string& file) {
  std::vector<Member> out;
  const Bytes archive = ReadFile(file);
  LhaStream s{&archive};
  static const LHAInputStreamType type = {LhaStream::Read, LhaStream::Skip, LhaStream::Close};
  LHAInputStream* stream = lha_input_stream_new(&type, &s);
  LHAReader* reader = lha_reader_new(stream);
  while (LHAFileHeader* h = lha_reader_next_file(reader)) {
    Member m;
    m.name = h->filename != nullptr ? h->filename : "";
    m.method = h->compress_method;
    m.crc = h->crc;
    // After the header the stream stands at the member's data.
    if (s.at + h->compressed_length <= archive.size()) {
      m.compressed.assign(archive.begin() + static_cast<long>(s.at),
                          archive.begin() + static_cast<long>(s.at + h->compressed_length));
    }
    m.expected.resize(h->length);
    size_t got = 0;
    while (got < h->length) {
      size_t n = lha_reader_read(reader, m.expected.data() + got, h->length - got);
      if (n == 0) break;
      got += n;
    }
    m.expected.resize(got);
    out.push_back(std::move(m));
  }
  lha_reader_free(reader);
  lha_input_stream_free(stream);
  return out;
}

// Writes an MSB-first bit stream for hand-made blocks.
class BitWriter {
 public:
  void Put(unsigned n, uint32_t v) {
    for (unsigned i = n; i-- > 0;) {
      cur_ = static_cast<unsigned char>((cur_ << 1) | ((v >> i) & 1));
      if (++used_ == 8) {
        bytes_.push_back(cur_);
        cur_ = 0;
        used_ = 0;
      }
    }
  }
  Bytes Finish() {
    Bytes b = bytes_;
    if (used_ != 0) b.push_back(static_cast<unsigned char>(cur_ << (8 - used_)));
    return b;
  }

 private:
  Bytes bytes_;
  unsigned char cur_ = 0;
  unsigned used_ = 0;
};

// A block whose three tables are single symbols: every code is literal/length `sym`, every
// position code `pos`, and no bits are spent per code.
void SingleSymbolBlock(BitWriter& w, unsigned count, unsigned sym, unsigned pos, unsigned pbit) {
  w.Put(16, count);
  w.Put(5, 0);
  w.Put(5, 0);  // pre-table: single symbol 0
  w.Put(9, 0);
  w.Put(9, sym);
  w.Put(pbit, 0);
  w.Put(pbit, pos);
}

// ---------------------------------------------------------------------------------------------

TEST(LzhuffCrossCheck, EveryFixtureMemberMatchesLiblhasa) {
  // Our own jlha fixtures, and the LZH library's (which include -lh4-).
  const char* files[] = {"lzhuff/lh5-l0.lzh",    "lzhuff/lh5-l1.lzh",    "lzhuff/lh5-l2.lzh",
                         "lzhuff/lh6.lzh",       "lzhuff/lh7.lzh",       "lzh/lh4_level0.lzh",
                         "lzh/lh5_level0.lzh",   "lzh/lh5_level1.lzh",   "lzh/lh5_level2.lzh",
                         "lzh/lh6_level1.lzh",   "lzh/lh7_level2.lzh",   "lzh/lh5_lh3_mixed.lzh"};
  int decoded = 0;
  bool lh4 = false;
  size_t longest = 0;
  for (const char* name : files) {
    const std::string path = std::string(ORVEX2_TEST_DATA) + "/" + name;
    const auto members = Members(path);
    ASSERT_FALSE(members.empty()) << path;
    for (const Member& m : members) {
      const lzhuff::Format* f = FormatFor(m.method);
      if (f == nullptr) continue;
      SCOPED_TRACE(std::string(name) + ":" + m.name);
      ASSERT_FALSE(m.compressed.empty());
      Bytes out;
      ASSERT_EQ(DecodeBytes(*f, m.compressed, m.expected.size(), &out), lzhuff::Status::kOk);
      EXPECT_EQ(out, m.expected);
      EXPECT_EQ(lzhuff::Crc16(0, out.data(), out.size()), m.crc);
      ++decoded;
      lh4 = lh4 || m.method == "-lh4-";
      longest = std::max(longest, out.size());
    }
  }
  EXPECT_GE(decoded, 15);
  EXPECT_TRUE(lh4);
  EXPECT_GT(longest, 600000u);  // the window slid several times
}

TEST(LzhuffCrossCheck, SmallInputReadsAndStopsAtOriginalSize) {
  const auto members = Members(std::string(ORVEX2_TEST_DATA) + "/lzhuff/lh7.lzh");
  ASSERT_GE(members.size(), 3u);
  const Member& m = members[2];  // the long one: many blocks, output in several spans
  MemInput in(m.compressed, 7);   // the input arrives in tiny pieces
  MemOutput out;
  ASSERT_EQ(lzhuff::Decode(lzhuff::kLh7, in, m.compressed.size(), m.expected.size(), out),
            lzhuff::Status::kOk);
  EXPECT_EQ(out.data, m.expected);
  EXPECT_GE(out.writes, 3);
  // Decoding stops exactly at the original size, and a stream whose last block holds more
  // codes than that is corrupt; the output never goes past the size.
  MemInput in2(m.compressed);
  MemOutput prefix;
  EXPECT_EQ(lzhuff::Decode(lzhuff::kLh7, in2, m.compressed.size(), 1000, prefix),
            lzhuff::Status::kCorrupt);
  EXPECT_LE(prefix.data.size(), 1000u);
}

TEST(LzhuffCrossCheck, NeverReadsPastCompressedSize) {
  const auto members = Members(std::string(ORVEX2_TEST_DATA) + "/lzhuff/lh6.lzh");
  ASSERT_FALSE(members.empty());
  Bytes padded = members[0].compressed;
  const size_t size = padded.size();
  padded.resize(size + 4096, 0xFF);
  MemInput in(padded);
  MemOutput out;
  ASSERT_EQ(lzhuff::Decode(lzhuff::kLh6, in, size, members[0].expected.size(), out),
            lzhuff::Status::kOk);
  EXPECT_EQ(in.at(), size);
}

TEST(LzhuffCrossCheck, TruncatedAndDamagedMembersFail) {
  const auto members = Members(std::string(ORVEX2_TEST_DATA) + "/lzhuff/lh5-l2.lzh");
  ASSERT_FALSE(members.empty());
  const Member& m = members[0];
  // The input ends early: the declared compressed size is not there.
  Bytes half(m.compressed.begin(), m.compressed.begin() + static_cast<long>(m.compressed.size() / 2));
  EXPECT_EQ(DecodeBytes(lzhuff::kLh5, half, m.expected.size(), nullptr, m.compressed.size()),
            lzhuff::Status::kTruncated);
  // The compressed size itself is too small.
  EXPECT_EQ(DecodeBytes(lzhuff::kLh5, half, m.expected.size(), nullptr), lzhuff::Status::kCorrupt);
  // Damage in the first block's tables is caught by the decoder or changes the output.
  for (size_t at : {size_t{2}, size_t{5}, m.compressed.size() / 2}) {
    Bytes bad = m.compressed;
    bad[at] ^= 0x5A;
    Bytes out;
    const auto s = DecodeBytes(lzhuff::kLh5, bad, m.expected.size(), &out);
    EXPECT_TRUE(s != lzhuff::Status::kOk || out != m.expected) << at;
  }
}

TEST(LzhuffCrossCheck, InputAndOutputFailuresAreReported) {
  const auto members = Members(std::string(ORVEX2_TEST_DATA) + "/lzhuff/lh6.lzh");
  ASSERT_FALSE(members.empty());
  FailingInput in;
  MemOutput out;
  EXPECT_EQ(lzhuff::Decode(lzhuff::kLh6, in, 100, 100, out), lzhuff::Status::kReadError);
  MemInput good(members[0].compressed);
  MemOutput failing;
  failing.fail = true;
  EXPECT_EQ(lzhuff::Decode(lzhuff::kLh6, good, members[0].compressed.size(),
                           members[0].expected.size(), failing),
            lzhuff::Status::kWriteError);
}

// ---------------------------------------------------------------------------------------------

TEST(LzhuffStreams, SingleSymbolTablesDecodeWithoutBits) {
  BitWriter w;
  SingleSymbolBlock(w, 5, 'A', 0, 4);
  Bytes out;
  ASSERT_EQ(DecodeBytes(lzhuff::kLh5, w.Finish(), 5, &out), lzhuff::Status::kOk);
  EXPECT_EQ(out, Bytes(5, 'A'));
}

TEST(LzhuffStreams, MatchesCopyFromEarlierOutput) {
  // Block 1: one literal 'x'. Block 2: matches of length 3 (code 256) at distance 1.
  BitWriter w;
  SingleSymbolBlock(w, 1, 'x', 0, 5);
  SingleSymbolBlock(w, 3, 256, 0, 5);
  Bytes out;
  ASSERT_EQ(DecodeBytes(lzhuff::kArj, w.Finish(), 10, &out), lzhuff::Status::kOk);
  EXPECT_EQ(out, Bytes(10, 'x'));
}

TEST(LzhuffStreams, MatchBeforeTheStartFails) {
  BitWriter w;
  SingleSymbolBlock(w, 2, 256, 0, 5);  // a match with nothing decoded yet
  EXPECT_EQ(DecodeBytes(lzhuff::kArj, w.Finish(), 3, nullptr), lzhuff::Status::kCorrupt);
  BitWriter w2;
  SingleSymbolBlock(w2, 4, 'y', 0, 5);
  SingleSymbolBlock(w2, 1, 256, 4, 5);  // position symbol 4: distance 8..15 after 4 bytes
  w2.Put(3, 0);
  EXPECT_EQ(DecodeBytes(lzhuff::kArj, w2.Finish(), 7, nullptr), lzhuff::Status::kCorrupt);
}

TEST(LzhuffStreams, LengthPastTheEndFails) {
  BitWriter w;
  SingleSymbolBlock(w, 2, 'z', 0, 4);
  SingleSymbolBlock(w, 1, 509, 0, 4);  // length 256
  EXPECT_EQ(DecodeBytes(lzhuff::kLh5, w.Finish(), 100, nullptr), lzhuff::Status::kCorrupt);
}

TEST(LzhuffStreams, BrokenTablesFail) {
  struct Case {
    const char* what;
    void (*make)(BitWriter&);
  };
  const Case cases[] = {
      {"pre-table count above NT",
       [](BitWriter& w) {
         w.Put(16, 1);
         w.Put(5, 20);
       }},
      {"single pre-table symbol out of range",
       [](BitWriter& w) {
         w.Put(16, 1);
         w.Put(5, 0);
         w.Put(5, 19);
       }},
      {"over-subscribed pre-table",
       [](BitWriter& w) {
         w.Put(16, 1);
         w.Put(5, 3);
         for (int i = 0; i < 3; ++i) w.Put(3, 1);
         w.Put(2, 0);
       }},
      {"incomplete pre-table",
       [](BitWriter& w) {
         w.Put(16, 1);
         w.Put(5, 2);
         w.Put(3, 1);
         w.Put(3, 2);
       }},
      {"code length above 16",
       [](BitWriter& w) {
         w.Put(16, 1);
         w.Put(5, 1);
         w.Put(3, 7);
         w.Put(13, 0x1FFF);  // thirteen ones: 20
       }},
      {"literal table count above NC",
       [](BitWriter& w) {
         w.Put(16, 1);
         w.Put(5, 0);
         w.Put(5, 0);
         w.Put(9, 511);
       }},
      {"single literal symbol out of range",
       [](BitWriter& w) {
         w.Put(16, 1);
         w.Put(5, 0);
         w.Put(5, 0);
         w.Put(9, 0);
         w.Put(9, 510);
       }},
      {"literal table all zero lengths",
       [](BitWriter& w) {
         w.Put(16, 1);
         w.Put(5, 0);
         w.Put(5, 0);  // every pre-table code is 0: one zero length
         w.Put(9, 10);
       }},
      {"position table count above NP",
       [](BitWriter& w) {
         w.Put(16, 1);
         w.Put(5, 0);
         w.Put(5, 0);
         w.Put(9, 0);
         w.Put(9, 65);
         w.Put(4, 15);
       }},
      {"zero run past the table",
       [](BitWriter& w) {
         w.Put(16, 1);
         w.Put(5, 0);
         w.Put(5, 2);  // every pre-table code is 2: runs of 20 + 9 bits
         w.Put(9, 300);
         for (int i = 0; i < 4; ++i) w.Put(9, 511);
       }},
  };
  for (const Case& c : cases) {
    BitWriter w;
    c.make(w);
    Bytes in = w.Finish();
    in.resize(in.size() + 16, 0);
    EXPECT_EQ(DecodeBytes(lzhuff::kLh5, in, 50, nullptr), lzhuff::Status::kCorrupt) << c.what;
  }
}

TEST(LzhuffStreams, EndlessStreamsStopQuickly) {
  const auto start = std::chrono::steady_clock::now();
  for (const lzhuff::Format* f : {&lzhuff::kLh4, &lzhuff::kLh5, &lzhuff::kLh6, &lzhuff::kLh7, &lzhuff::kArj}) {
    // All zero bits: single-symbol tables and 65536 zero-bit literals per block, until the
    // input runs out.
    const Bytes zeros(512, 0);
    EXPECT_EQ(DecodeBytes(*f, zeros, uint64_t{1} << 40, nullptr), lzhuff::Status::kCorrupt);
    const Bytes ones(4096, 0xFF);
    EXPECT_EQ(DecodeBytes(*f, ones, uint64_t{1} << 40, nullptr), lzhuff::Status::kCorrupt);
    // Nothing at all.
    EXPECT_EQ(DecodeBytes(*f, Bytes{}, 10, nullptr), lzhuff::Status::kCorrupt);
    EXPECT_EQ(DecodeBytes(*f, Bytes{}, 0, nullptr), lzhuff::Status::kOk);
    // A block count larger than the data.
    BitWriter w;
    SingleSymbolBlock(w, 9, 'q', 0, f->pbit);
    EXPECT_EQ(DecodeBytes(*f, w.Finish(), 8, nullptr), lzhuff::Status::kCorrupt);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 20.0);
}

TEST(LzhuffCrc16, KnownValues) {
  const char* check = "123456789";
  EXPECT_EQ(lzhuff::Crc16(0, check, 9), 0xBB3D);
  // Split calls continue the same CRC; long inputs take the eight-byte path.
  std::string longer(1000, '\0');
  for (size_t i = 0; i < longer.size(); ++i) longer[i] = static_cast<char>(i * 7 + 3);
  uint16_t bitwise = 0;
  for (unsigned char c : longer) {
    bitwise ^= c;
    for (int k = 0; k < 8; ++k) bitwise = (bitwise & 1) ? static_cast<uint16_t>((bitwise >> 1) ^ 0xA001) : static_cast<uint16_t>(bitwise >> 1);
  }
  EXPECT_EQ(lzhuff::Crc16(0, longer.data(), longer.size()), bitwise);
  const uint16_t part = lzhuff::Crc16(0, longer.data(), 333);
  EXPECT_EQ(lzhuff::Crc16(part, longer.data() + 333, longer.size() - 333), bitwise);
}

TEST(LzhuffFormats, WindowAndPositionTables) {
  EXPECT_EQ(lzhuff::kLh4.np, 14u);
  EXPECT_EQ(lzhuff::kLh4.pbit, 4u);
  EXPECT_EQ(lzhuff::kLh5.windowBits, 13u);
  EXPECT_EQ(lzhuff::kLh6.np, 16u);
  EXPECT_EQ(lzhuff::kLh6.pbit, 5u);
  EXPECT_EQ(lzhuff::kLh7.np, 17u);
  EXPECT_EQ(lzhuff::kArj.np, 17u);
  EXPECT_EQ(lzhuff::kArj.pbit, 5u);
}

}  // namespace
