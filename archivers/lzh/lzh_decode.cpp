// DecodeMember on liblhasa's decoders (lha_decoder_for_name / lha_decoder_new).
#include "lzh_decode.h"

#include <cstring>
#include <vector>

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

}  // namespace

bool CanDecode(const std::string& method) { return DecoderFor(method) != nullptr; }

DecodeOutcome DecodeMember(const std::string& method, ByteSource& source, uint64_t compressedSize,
                           uint64_t originalSize, ByteSink& sink) {
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
