// Decoding one folder: its data blocks walked through the cabinets of the set (checksums
// verified, blocks split at a cabinet's end joined again), stored data taken as it is, MSZIP on
// ISA-L with the previous 32 KiB of output as each block's dictionary, LZX and Quantum on
// libmspack reading the verified blocks through a stand-in cabinet of one folder and one file.
#include "cab_folder.h"

#include "archiver_common.h"

#include <isa-l/igzip_lib.h>
#include <mspack.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace cabar {
namespace {

namespace code = arc::code;

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

struct Block {
  const unsigned char* data = nullptr;
  uint32_t size = 0;    // compressed bytes
  uint32_t uncomp = 0;  // bytes it decodes to
};

// The blocks of one folder in order, whole: a block split at the end of a cabinet (declared
// size 0 there) is joined with its rest from the next cabinet.
class BlockWalk {
 public:
  BlockWalk(CabinetSet& set, const Span& span, Meter& meter, bool readData)
      : set_(set), span_(span), meter_(meter), readData_(readData) {
    Enter(0);
  }

  // 0 with a block; kEnd, kMissing, or a fault code (which then stays).
  int Next(Block& out) {
    if (stop_ != 0) return stop_;
    stop_ = Step(out);
    return stop_;
  }
  // Every block of the tested cabinet's part has been read.
  bool mainDone() const { return mainDone_; }
  // The block being read when the walk stopped (or the last one returned) holds data of the
  // tested cabinet.
  bool touchedMain() const { return touchedMain_; }
  int64_t mainStart() const { return mainStart_; }
  int64_t mainEnd() const { return mainEnd_; }

 private:
  const Cabinet& cab() const { return set_.cab(span_.parts[part_].node); }
  const Folder& folder() const { return cab().folders[span_.parts[part_].folder]; }

  void Enter(size_t part) {
    part_ = part;
    block_ = 0;
    if (part_ >= span_.parts.size()) return;
    const Cabinet& c = cab();
    pos_ = c.base + folder().data;
    if (part_ == span_.main) {
      mainStart_ = mainEnd_ = pos_;
      file_ = &set_.mainFile();
      openRc_ = code::kOk;
      if (folder().blocks == 0) mainDone_ = true;
    } else {
      other_ = std::make_unique<CabFile>(meter_);
      file_ = other_.get();
      openRc_ = other_->Open(set_.path(span_.parts[part_].node));
    }
  }

  int Step(Block& out) {
    joined_.clear();
    bool joining = false;
    touchedMain_ = false;
    for (;;) {
      if (part_ >= span_.parts.size()) return joining && span_.tail == kEnd ? code::kHuffmanCode : span_.tail;
      if (block_ == folder().blocks) {
        Enter(part_ + 1);
        continue;
      }
      if (openRc_ != code::kOk) return openRc_;
      if (part_ == span_.main) touchedMain_ = true;
      const Cabinet& c = cab();
      const size_t headerSize = 8u + c.dataReserve;
      const unsigned char* h = nullptr;
      if (pos_ + static_cast<int64_t>(headerSize) > c.base + c.length) return code::kHeaderBroken;
      if (const int rc = file_->View(pos_, 8, &h); rc != code::kOk) return rc;
      const uint32_t sum = Le32(h);
      const uint32_t sizes = Le32(h + 4);
      const uint16_t size = Le16(h + 4);
      const uint16_t uncomp = Le16(h + 6);
      const int64_t dataAt = pos_ + static_cast<int64_t>(headerSize);
      if (dataAt + size > c.base + c.length) return code::kHeaderBroken;  // beyond the cabinet's end
      const unsigned char* data = nullptr;
      if (readData_) {
        if (const int rc = file_->View(dataAt, size, &data); rc != code::kOk) return rc;
        if (sum != 0 && BlockChecksum(data, size, 0) != (sum ^ sizes)) return code::kFileCrc;
      }
      pos_ = dataAt + size;
      ++block_;
      const bool last = block_ == folder().blocks;
      if (part_ == span_.main && last) {
        mainDone_ = true;
        mainEnd_ = pos_;
      }
      if (uncomp > kBlockMax) return code::kHuffmanCode;
      const bool split = uncomp == 0;
      if (split && !last) return code::kHuffmanCode;  // only a cabinet's last block goes on elsewhere
      if (split && part_ + 1 == span_.parts.size() && span_.tail == kEnd) return code::kHuffmanCode;
      if (joining || split) {
        if (joined_.size() + size > kBlockInputMax) return code::kHuffmanCode;
        if (readData_) joined_.insert(joined_.end(), data, data + size);
        else joined_.resize(joined_.size() + size);
        joining = true;
        if (split) continue;
        out = {joined_.data(), static_cast<uint32_t>(joined_.size()), uncomp};
      } else {
        out = {data, size, uncomp};
      }
      return code::kOk;
    }
  }

  CabinetSet& set_;
  const Span& span_;
  Meter& meter_;
  bool readData_;
  size_t part_ = 0;
  unsigned block_ = 0;
  int64_t pos_ = 0;
  CabFile* file_ = nullptr;
  std::unique_ptr<CabFile> other_;
  int openRc_ = code::kOk;
  std::vector<unsigned char> joined_;
  int stop_ = 0;
  bool mainDone_ = false;
  bool touchedMain_ = false;
  int64_t mainStart_ = 0, mainEnd_ = 0;
};

// MSZIP: each block is "CK" and a deflate stream that ends in a final block and may refer back
// into the 32 KiB of output before it.
class Mszip {
 public:
  Mszip() : state_(new inflate_state), history_(new unsigned char[kOutSize]), out_(new unsigned char[kOutSize]) {
    isal_inflate_init(state_.get());
  }
  int Decode(const Block& b) {
    if (b.size < 2 || b.data[0] != 'C' || b.data[1] != 'K') return code::kHuffmanCode;
    inflate_state* s = state_.get();
    isal_inflate_reset(s);
    if (historyLen_ > 0 && isal_inflate_set_dict(s, history_.get(), historyLen_) != ISAL_DECOMP_OK) {
      return code::kHuffmanCode;
    }
    s->next_in = const_cast<unsigned char*>(b.data + 2);
    s->avail_in = b.size - 2;
    s->next_out = out_.get();
    s->avail_out = b.uncomp + 1;  // one byte more than declared shows an overlong stream
    if (isal_inflate(s) != ISAL_DECOMP_OK || s->block_state != ISAL_BLOCK_FINISH || s->total_out != b.uncomp) {
      return code::kHuffmanCode;
    }
    Remember(b.uncomp);
    return code::kOk;
  }

 private:
  static constexpr size_t kOutSize = kBlockMax + 1;

  void Remember(uint32_t n) {
    if (n == kBlockMax) {
      std::swap(history_, out_);  // a full block is the whole dictionary
      historyLen_ = kBlockMax;
      return;
    }
    const uint32_t keep = std::min<uint32_t>(historyLen_, kBlockMax - n);
    std::memmove(history_.get(), history_.get() + historyLen_ - keep, keep);
    std::memcpy(history_.get() + keep, out_.get(), n);
    historyLen_ = keep + n;
  }

  std::unique_ptr<inflate_state> state_;
  std::unique_ptr<unsigned char[]> history_;
  std::unique_ptr<unsigned char[]> out_;
  uint32_t historyLen_ = 0;
};

// --- LZX and Quantum through libmspack ---------------------------------------------------------

constexpr char kStandIn[] = "\x01orvex2-folder";
constexpr char kSink[] = "\x01orvex2-sink";
constexpr uint32_t kStandInData = 1024;  // the blocks start here, past every header read
constexpr size_t kMaxAllocation = 16u << 20;

struct Bridge;

struct Handle {
  Bridge* bridge = nullptr;
  bool sink = false;
  int64_t pos = 0;
};

// The mspack_system libmspack works through: the stand-in cabinet (a header in memory, then
// the folder's verified blocks as BlockWalk gives them) and a sink that counts the output.
struct Bridge {
  mspack_system ops{};
  BlockWalk* walk = nullptr;
  unsigned char header[kStandInData] = {};
  std::vector<unsigned char> block;  // the current block as a CFDATA record without checksum
  int64_t blockAt = kStandInData;    // its position in the stand-in file
  uint32_t blocksLeft = 0;
  int walkFault = 0;                 // what the walk stopped on
  bool cancelled = false;
  uint64_t written = 0;
};

Bridge* Owner(mspack_system* self) { return reinterpret_cast<Bridge*>(self); }
Handle* AsHandle(mspack_file* f) { return reinterpret_cast<Handle*>(f); }

mspack_file* BridgeOpen(mspack_system* self, const char* name, int mode) {
  const bool sink = name == kSink && mode == MSPACK_SYS_OPEN_WRITE;
  if (!sink && (name != kStandIn || mode != MSPACK_SYS_OPEN_READ)) return nullptr;
  auto* h = new (std::nothrow) Handle{Owner(self), sink, 0};
  return reinterpret_cast<mspack_file*>(h);
}

void BridgeClose(mspack_file* f) { delete AsHandle(f); }

int BridgeRead(mspack_file* f, void* buffer, int bytes) {
  Handle* h = AsHandle(f);
  if (h == nullptr || h->sink || bytes < 0) return -1;
  Bridge& b = *h->bridge;
  auto* out = static_cast<unsigned char*>(buffer);
  int done = 0;
  while (done < bytes) {
    if (h->pos < kStandInData) {
      const int n = std::min<int>(bytes - done, static_cast<int>(kStandInData - h->pos));
      std::memcpy(out + done, b.header + h->pos, static_cast<size_t>(n));
      done += n;
      h->pos += n;
      continue;
    }
    const int64_t blockEnd = b.blockAt + static_cast<int64_t>(b.block.size());
    if (h->pos < b.blockAt) return -1;  // libmspack never reads a block twice
    if (h->pos >= blockEnd) {
      if (h->pos != blockEnd) return -1;
      if (b.blocksLeft == 0) break;
      Block blk;
      if (const int rc = b.walk->Next(blk); rc != code::kOk) {
        b.walkFault = rc < 0 ? code::kHuffmanCode : rc;
        return -1;
      }
      --b.blocksLeft;
      b.block.resize(8 + blk.size);
      Put32(b.block.data(), 0);  // verified already
      Put16(b.block.data() + 4, blk.size);
      Put16(b.block.data() + 6, blk.uncomp);
      std::memcpy(b.block.data() + 8, blk.data, blk.size);
      b.blockAt = blockEnd;
      continue;
    }
    const int n = static_cast<int>(std::min<int64_t>(bytes - done, blockEnd - h->pos));
    std::memcpy(out + done, b.block.data() + (h->pos - b.blockAt), static_cast<size_t>(n));
    done += n;
    h->pos += n;
  }
  return done;
}

int BridgeWrite(mspack_file* f, void*, int bytes) {
  Handle* h = AsHandle(f);
  if (h == nullptr || !h->sink || bytes < 0) return -1;
  if (arc::PollCancel()) {
    h->bridge->cancelled = true;
    return -1;
  }
  h->bridge->written += static_cast<uint64_t>(bytes);
  return bytes;
}

int BridgeSeek(mspack_file* f, off_t offset, int mode) {
  Handle* h = AsHandle(f);
  if (h == nullptr || h->sink) return -1;
  int64_t target = offset;
  if (mode == MSPACK_SYS_SEEK_CUR) target += h->pos;
  else if (mode != MSPACK_SYS_SEEK_START) return -1;  // the stand-in has no known end
  if (target < 0) return -1;
  h->pos = target;
  return 0;
}

off_t BridgeTell(mspack_file* f) { return AsHandle(f) == nullptr ? -1 : static_cast<off_t>(AsHandle(f)->pos); }
void BridgeMessage(mspack_file*, const char*, ...) {}
void* BridgeAlloc(mspack_system*, size_t bytes) { return bytes > kMaxAllocation ? nullptr : std::malloc(bytes); }
void BridgeFree(void* p) { std::free(p); }
void BridgeCopy(void* src, void* dest, size_t bytes) { std::memmove(dest, src, bytes); }

// Decodes `blocks` blocks of `walk` holding `length` bytes; the result's okEnd and stop.
void DecodeWithMspack(BlockWalk& walk, uint16_t type, uint32_t blocks, uint32_t length, FolderResult& r) {
  Bridge b;
  b.ops.open = BridgeOpen;
  b.ops.close = BridgeClose;
  b.ops.read = BridgeRead;
  b.ops.write = BridgeWrite;
  b.ops.seek = BridgeSeek;
  b.ops.tell = BridgeTell;
  b.ops.message = BridgeMessage;
  b.ops.alloc = BridgeAlloc;
  b.ops.free = BridgeFree;
  b.ops.copy = BridgeCopy;
  b.walk = &walk;
  b.blocksLeft = blocks;
  unsigned char* h = b.header;
  std::memcpy(h, "MSCF", 4);
  Put32(h + 8, kStandInData);  // the stand-in's size field is not read while decoding
  Put32(h + 16, 44);           // one folder entry, then the file entry
  h[24] = 3;
  h[25] = 1;
  Put16(h + 26, 1);
  Put16(h + 28, 1);
  Put32(h + 36, kStandInData);
  Put16(h + 40, static_cast<uint16_t>(blocks));
  Put16(h + 42, type);
  Put32(h + 44, length);  // the file: the whole folder
  std::memcpy(h + 60, "f", 2);

  mscab_decompressor* cabd = mspack_create_cab_decompressor(&b.ops);
  if (cabd == nullptr) {
    r.stop = code::kMoreHeapMemory;
    return;
  }
  int err = MSPACK_ERR_NOMEMORY;
  if (mscabd_cabinet* cab = cabd->open(cabd, kStandIn)) {
    err = cabd->extract(cabd, cab->files, kSink);
    cabd->close(cabd, cab);
  } else {
    err = cabd->last_error(cabd);
  }
  mspack_destroy_cab_decompressor(cabd);
  r.okEnd = std::min<uint64_t>(b.written, length);
  if (err == MSPACK_ERR_OK && b.written == length) return;
  if (b.walkFault != 0) r.stop = b.walkFault;
  else if (b.cancelled) r.stop = code::kCannotRead;
  else if (err == MSPACK_ERR_NOMEMORY) r.stop = code::kMoreHeapMemory;
  else r.stop = code::kHuffmanCode;  // the decoder refused the data or wanted more than the blocks hold
}

}  // namespace

FolderResult DecodeFolder(CabinetSet& set, size_t folder, uint64_t target, Meter& meter) {
  FolderResult r;
  const uint16_t type = set.cab(0).folders[folder].type;
  if (const int rc = CheckCompression(type); rc != code::kOk) {
    r.stop = rc;
    r.faultHere = true;
    return r;
  }
  const Span span = SpanOf(set, folder);
  const auto finish = [&r](const BlockWalk& walk, int stop) {
    r.stop = stop;
    r.faultHere = stop > 0 && (!walk.mainDone() || walk.touchedMain());
    r.walked = walk.mainDone();
    r.dataStart = walk.mainStart();
    r.dataEnd = walk.mainEnd();
  };

  // Reads and verifies the blocks of the tested cabinet's part alone; its walk is recorded.
  const auto checkHere = [&]() {
    Span here;
    here.parts.push_back(span.parts[span.main]);
    here.tail = span.parts.size() > 1 || span.tail != kEnd ? kMissing : kEnd;
    BlockWalk walk(set, here, meter, true);
    Block b;
    int st = code::kOk;
    for (bool first = true; (st = walk.Next(b)) == code::kOk; first = false) {
      // Blocks after the first (which may be the rest of one split before) are whole: a stored one
      // decodes to itself, an MSZIP one begins with its signature.
      const bool badStored = (type & 0x000F) == kStored && b.size != b.uncomp;
      const bool badMszip = (type & 0x000F) == kMszip && (b.size < 2 || b.data[0] != 'C' || b.data[1] != 'K');
      if (!first && (badStored || badMszip)) {
        st = code::kHuffmanCode;
        break;
      }
    }
    finish(walk, st);
    return st;
  };

  if (span.head != 0) {
    // The folder's beginning is not at hand: only its blocks here can be checked.
    const int st = checkHere();
    r.startMissing = true;
    // Sound here: what is missing or damaged is elsewhere, and a broken next cabinet is a fault
    // even while the previous one is missing.
    if (st < 0) r.stop = span.head < 0 && span.tail > 0 ? span.tail : span.head;
    return r;
  }

  const auto enough = [&target](const BlockWalk& w, uint64_t at) { return w.mainDone() && at >= target; };
  if ((type & 0x000F) == kLzx || (type & 0x000F) == kQuantum) {
    // libmspack needs the folder's length before it starts: count the blocks first.
    BlockWalk count(set, span, meter, false);
    uint64_t length = 0;
    uint32_t blocks = 0;
    int stop = code::kOk;
    Block b;
    while (stop == code::kOk) {
      if (enough(count, length)) {
        stop = kEnough;
      } else if ((stop = count.Next(b)) == code::kOk) {
        if (blocks == 0xFFFF) {
          stop = code::kHuffmanCode;  // more blocks than one folder can hold
        } else {
          ++blocks;
          length += b.uncomp;
        }
      }
    }
    BlockWalk walk(set, span, meter, true);
    r.stop = kEnd;
    if (blocks > 0) DecodeWithMspack(walk, type, blocks, static_cast<uint32_t>(length), r);
    if (r.stop != kEnd) {
      finish(walk, r.stop);
    } else if (stop != kMissing || checkHere() < 0) {
      // The count read no data: the blocks here before a missing cabinet were checked on their own.
      finish(count, stop);
    }
    return r;
  }

  BlockWalk walk(set, span, meter, true);
  Mszip mszip;
  Block b;
  for (;;) {
    if (enough(walk, r.okEnd)) {
      finish(walk, kEnough);
      break;
    }
    int rc = walk.Next(b);
    if (rc == code::kOk && arc::PollCancel()) rc = code::kCannotRead;
    if (rc == code::kOk) {
      if ((type & 0x000F) == kMszip) rc = mszip.Decode(b);
      else if (b.size != b.uncomp) rc = code::kHuffmanCode;  // stored data decodes to itself
    }
    if (rc != code::kOk) {
      finish(walk, rc);
      break;
    }
    r.okEnd += b.uncomp;
  }
  return r;
}

}  // namespace cabar
