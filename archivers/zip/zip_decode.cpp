// Member decoding: the plumbing shared by the decoders, stored data, deflate on ISA-L, bzip2 on
// libbz2, and the dispatch with the final CRC-32 and size checks.
#include "zip_decode.h"

#include <bzlib.h>
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <new>

namespace zipar {
namespace {

namespace code = arc::code;

constexpr size_t kOutBlock = 256 * 1024;

}  // namespace

Input::Input(ArchiveFile& file, uint64_t start, uint64_t length) : file_(file), position_(start), left_(length) {}

int Input::Next(const unsigned char*& data, size_t& n) {
  n = static_cast<size_t>(std::min<uint64_t>(left_, kBlock));
  data = nullptr;
  if (n == 0) return code::kOk;
  if (!buffer_) buffer_.reset(new unsigned char[kBlock]);
  if (const int rc = file_.ReadAt(position_, buffer_.get(), n); rc != code::kOk) {
    n = 0;
    return rc;
  }
  data = buffer_.get();
  position_ += n;
  left_ -= n;
  return code::kOk;
}

int Output::Put(const unsigned char* data, size_t n) {
  if (arc::PollCancel()) return code::kUserCancel;
  if (n > declared_ - produced_) return code::kHuffmanCode;
  produced_ += n;
  crc_ = crc32_gzip_refl(crc_, data, n);
  return file_ != nullptr ? file_->Write(data, n) : code::kOk;
}

bool BitReader::Refill() {
  size_t n = 0;
  const int rc = in_.Next(at_, n);
  if (rc != code::kOk) {
    error_ = rc;
    return false;
  }
  if (n == 0) {  // past the data: zero bits, counted
    at_ = &zero_;
    n = 1;
    padBits_ += 8;
    if (padBits_ > 64) padBits_ = 64;
  }
  end_ = at_ + n;
  return true;
}

bool CanDecode(uint16_t method) {
  return method <= 6 || method == 8 || method == 9 || method == 12;
}

int Store(Input& in, Output& out) {
  for (;;) {
    const unsigned char* data = nullptr;
    size_t n = 0;
    if (const int rc = in.Next(data, n); rc != code::kOk) return rc;
    if (n == 0) return code::kOk;
    if (const int rc = out.Put(data, n); rc != code::kOk) return rc;
  }
}

int InflateIsal(Input& in, Output& out) {
  std::unique_ptr<inflate_state> state(new inflate_state);
  isal_inflate_init(state.get());
  state->crc_flag = ISAL_DEFLATE;
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kOutBlock]);
  bool inputDone = false;
  for (;;) {
    if (state->avail_in == 0 && !inputDone) {
      const unsigned char* data = nullptr;
      size_t n = 0;
      if (const int rc = in.Next(data, n); rc != code::kOk) return rc;
      inputDone = n == 0;
      state->next_in = const_cast<unsigned char*>(data);
      state->avail_in = static_cast<uint32_t>(n);
    }
    state->next_out = buffer.get();
    state->avail_out = kOutBlock;
    if (isal_inflate(state.get()) != ISAL_DECOMP_OK) return code::kHuffmanCode;
    const size_t produced = kOutBlock - state->avail_out;
    if (produced > 0) {
      if (const int rc = out.Put(buffer.get(), produced); rc != code::kOk) return rc;
    }
    if (state->block_state == ISAL_BLOCK_FINISH) {
      // The stream must end with the member's data: bytes after it mean a wrong size.
      const uint64_t unused = state->avail_in + static_cast<uint64_t>(state->read_in_length / 8) + in.left();
      return unused == 0 ? code::kOk : code::kHuffmanCode;
    }
    // The compressed size is used up and the stream has not ended.
    if (inputDone && state->avail_in == 0 && produced == 0) return code::kHuffmanCode;
  }
}

int Bunzip2(Input& in, Output& out) {
  bz_stream stream{};
  if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return code::kMoreHeapMemory;
  struct End {
    bz_stream* s;
    ~End() { BZ2_bzDecompressEnd(s); }
  } end{&stream};
  std::unique_ptr<char[]> buffer(new char[kOutBlock]);
  bool inputDone = false;
  for (;;) {
    if (stream.avail_in == 0 && !inputDone) {
      const unsigned char* data = nullptr;
      size_t n = 0;
      if (const int rc = in.Next(data, n); rc != code::kOk) return rc;
      inputDone = n == 0;
      stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(data));
      stream.avail_in = static_cast<unsigned>(n);
    }
    stream.next_out = buffer.get();
    stream.avail_out = kOutBlock;
    const int bz = BZ2_bzDecompress(&stream);
    if (bz == BZ_MEM_ERROR) return code::kMoreHeapMemory;
    if (bz != BZ_OK && bz != BZ_STREAM_END) return code::kHuffmanCode;
    const size_t produced = kOutBlock - stream.avail_out;
    if (produced > 0) {
      if (const int rc = out.Put(reinterpret_cast<unsigned char*>(buffer.get()), produced); rc != code::kOk) return rc;
    }
    if (bz == BZ_STREAM_END) return stream.avail_in == 0 && in.left() == 0 ? code::kOk : code::kHuffmanCode;
    if (inputDone && stream.avail_in == 0 && produced == 0) return code::kHuffmanCode;
  }
}

int DecodeMember(ArchiveFile& file, const CentralEntry& entry, const MemberData& data, arc::OutputFile* file_out) {
  if (entry.method == 0 && entry.compressed != entry.size) return code::kHeaderBroken;
  // A stream that ends itself, written with a descriptor: testers hold it to its CRC only.
  const bool selfDelimiting = entry.method == 8 || entry.method == 9 || entry.method == 12;
  const bool sized = !(selfDelimiting && data.descriptor);
  Input in(file, data.start, entry.compressed);
  Output out(sized ? entry.size : UINT64_MAX, file_out);
  int rc = code::kMethod;
  try {
    switch (entry.method) {
      case 0:
        rc = Store(in, out);
        break;
      case 1:
        rc = Unshrink(in, out);
        break;
      case 2:
      case 3:
      case 4:
      case 5:
        rc = Unreduce(in, out, entry.method - 1);
        break;
      case 6:
        rc = Explode(in, out, (entry.flags & flag::kImplode8K) != 0, (entry.flags & flag::kImplode3Trees) != 0);
        break;
      case 8:
        rc = InflateIsal(in, out);
        break;
      case 9:
        rc = Inflate64(in, out);
        break;
      case 12:
        rc = Bunzip2(in, out);
        break;
      default:
        break;
    }
  } catch (const std::bad_alloc&) {
    return code::kMoreHeapMemory;
  }
  if (rc != code::kOk) return rc;
  if (sized && out.produced() != entry.size) return code::kHuffmanCode;
  return out.crc() == entry.crc ? code::kOk : code::kFileCrc;
}

}  // namespace zipar
