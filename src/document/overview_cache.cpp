#include "document/overview_cache.h"

#include <bit>
#include <cstring>
#include <limits>

#include "document/store_errors.h"
#include "platform/files.h"

namespace qel::document {

// The arrays are written and read as they lie in memory.
static_assert(std::endian::native == std::endian::little, "overview cache files are little-endian");

namespace {

bool Report(std::error_code* out, std::error_code error) {
  if (out) *out = error;
  return false;
}

}  // namespace

bool WriteOverviewCache(const std::string& path, std::span<const OverviewChannel> channels,
                        std::error_code* error) {
  const uint64_t count = channels.empty() ? 0 : channels.front().minimum.size();
  for (const auto& channel : channels) {
    if (channel.minimum.size() != count || channel.maximum.size() != count) {
      return Report(error, make_error_code(StoreErrc::InconsistentCache));
    }
  }
  platform::File file;
  if (!file.Open(path, platform::FileAccess::CreateWrite, platform::FileHint::SequentialScan)) {
    return Report(error, file.LastError());
  }
  bool ok = file.Write(&count, sizeof count, nullptr);
  for (const auto& channel : channels) {
    for (const auto* array : {&channel.minimum, &channel.maximum}) {
      ok = ok && file.Write(array->data(), array->size() * sizeof(int32_t), nullptr);
    }
  }
  std::error_code failure = file.LastError();
  ok = file.Close() && ok;
  if (!ok) {
    if (!failure) failure = file.LastError();
    platform::DeleteFile(path);
    return Report(error, failure);
  }
  return true;
}

bool ReadOverviewCache(const std::string& path, size_t channels, std::vector<OverviewChannel>* out,
                       std::error_code* error) {
  platform::File file;
  if (!file.Open(path, platform::FileAccess::Read, platform::FileHint::SequentialScan)) {
    return Report(error, file.LastError());
  }
  const int64_t size = file.Size();
  if (size < 0) return Report(error, file.LastError());
  uint64_t count = 0;
  size_t got = 0;
  if (!file.Read(&count, sizeof count, &got)) return Report(error, file.LastError());
  if (got < sizeof count) return Report(error, make_error_code(StoreErrc::InconsistentCache));

  // The count is checked against the file size before anything is allocated, so
  // a damaged count cannot ask for more memory than the file could fill.
  const uint64_t payload = static_cast<uint64_t>(size) - sizeof count;
  const uint64_t arrays = static_cast<uint64_t>(channels) * 2;
  const bool consistent = arrays == 0 ? payload == 0
                                      : count <= payload / arrays / sizeof(int32_t) &&
                                            count * arrays * sizeof(int32_t) == payload;
  if (!consistent) return Report(error, make_error_code(StoreErrc::InconsistentCache));

  std::vector<OverviewChannel> result(channels);
  for (auto& channel : result) {
    for (auto* array : {&channel.minimum, &channel.maximum}) {
      array->resize(count);
      const size_t bytes = count * sizeof(int32_t);
      if (!file.Read(array->data(), bytes, &got)) return Report(error, file.LastError());
      if (got < bytes) return Report(error, make_error_code(StoreErrc::InconsistentCache));
    }
  }
  *out = std::move(result);
  return true;
}

}  // namespace qel::document
