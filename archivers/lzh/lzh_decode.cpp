// DecodeMember: -lh4- to -lh7- on the shared static-Huffman decoder (lzhuff), every other
// method on liblhasa's decoders (lha_decoder_for_name / lha_decoder_new).
#include "lzh_decode.h"

#include <cstring>
#include <vector>

#include "lzhuff.h"

extern "C" {
#include <lha_decoder.h>
}

namespace lzhar {
namespace {

LHADecoderType* DecoderFor(const std::string& method) {
  if (method.size() != 5) return nullptr;
  char name[6];
  std::memcpy(name, method.data(), 5);
  name[5] = '\0';
  return lha_decoder_for_name(name);
}

struct CallbackState {
  ByteSource* source;
  uint64_t remaining;
  bool readError = false;
};

size_t ReadCompressed(void* buffer, size_t size, void* user) {
  auto* state = static_cast<CallbackState*>(user);
  if (state->readError || state->remaining == 0) return 0;
  if (size > state->remaining) size = static_cast<size_t>(state->remaining);
  const long n = state->source->Read(static_cast<uint8_t*>(buffer), size);
  if (n < 0) {
    state->readError = true;
    return 0;
  }
  state->remaining -= static_cast<uint64_t>(n);
  return static_cast<size_t>(n);
}

const lzhuff::Format* SharedFormatFor(const std::string& method) {
  if (method == "-lh4-") return &lzhuff::kLh4;
  if (method == "-lh5-") return &lzhuff::kLh5;
  if (method == "-lh6-") return &lzhuff::kLh6;
  if (method == "-lh7-") return &lzhuff::kLh7;
  return nullptr;
}

class SourceInput : public lzhuff::Input {
 public:
  explicit SourceInput(ByteSource& source) : source_(source) {}
  long Read(unsigned char* buf, size_t max) override { return source_.Read(buf, max); }

 private:
  ByteSource& source_;
};

class SinkOutput : public lzhuff::Output {
 public:
  SinkOutput(ByteSink& sink, DecodeOutcome& out) : sink_(sink), out_(out) {}
  bool Write(const unsigned char* data, size_t n) override {
    const int rc = sink_.Write(data, n);
    if (rc != 0) {
      out_.sinkCode = rc;
      return false;
    }
    out_.produced += n;
    return true;
  }

 private:
  ByteSink& sink_;
  DecodeOutcome& out_;
};

DecodeOutcome DecodeShared(const lzhuff::Format& format, ByteSource& source,
                           uint64_t compressedSize, uint64_t originalSize, ByteSink& sink) {
  DecodeOutcome out;
  SourceInput in(source);
  SinkOutput sinkOut(sink, out);
  switch (lzhuff::Decode(format, in, compressedSize, originalSize, sinkOut)) {
    case lzhuff::Status::kOk:
      break;
    case lzhuff::Status::kCorrupt:
    case lzhuff::Status::kTruncated:
      out.status = DecodeStatus::kShortOutput;
      break;
    case lzhuff::Status::kReadError:
      out.status = DecodeStatus::kReadError;
      break;
    case lzhuff::Status::kWriteError:
      out.status = DecodeStatus::kSinkError;
      break;
  }
  return out;
}

}  // namespace

bool CanDecode(const std::string& method) { return DecoderFor(method) != nullptr; }

DecodeOutcome DecodeMember(const std::string& method, ByteSource& source, uint64_t compressedSize,
                           uint64_t originalSize, ByteSink& sink) {
  if (const lzhuff::Format* f = SharedFormatFor(method)) {
    return DecodeShared(*f, source, compressedSize, originalSize, sink);
  }
  DecodeOutcome out;
  LHADecoderType* type = DecoderFor(method);
  if (type == nullptr) {
    out.status = DecodeStatus::kUnsupported;
    return out;
  }
  CallbackState state{&source, compressedSize};
  LHADecoder* decoder = lha_decoder_new(type, ReadCompressed, &state, static_cast<size_t>(originalSize));
  if (decoder == nullptr) {
    out.status = DecodeStatus::kNoMemory;
    return out;
  }
  std::vector<uint8_t> buffer(64 * 1024);
  while (out.produced < originalSize) {
    const size_t n = lha_decoder_read(decoder, buffer.data(), buffer.size());
    if (n == 0) break;
    out.produced += n;
    const int rc = sink.Write(buffer.data(), n);
    if (rc != 0) {
      out.status = DecodeStatus::kSinkError;
      out.sinkCode = rc;
      break;
    }
  }
  lha_decoder_free(decoder);
  if (out.status == DecodeStatus::kOk && out.produced < originalSize) {
    out.status = state.readError ? DecodeStatus::kReadError : DecodeStatus::kShortOutput;
  }
  return out;
}

}  // namespace lzhar
