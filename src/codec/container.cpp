#include "container.h"

#include <cstring>

namespace lz16 {

ContainerHead container_head(int32_t code_len) {
  ContainerHead head{};
  std::memcpy(head.bytes.data(), header_str, header_text_size);  // the fill stays zero
  uint8_t* field = head.bytes.data() + header_size;
  const uint32_t len = static_cast<uint32_t>(code_len);
  field[0] = static_cast<uint8_t>(len >> 8);
  field[1] = static_cast<uint8_t>(len & 0xFE);
  head.size = header_size + length_field_short;
  if (code_len > short_form_max) {
    field[1] |= long_form_flag;
    field[2] = static_cast<uint8_t>((len >> 15) & 0xFE);
    field[3] = static_cast<uint8_t>(len >> 23);
    head.size = header_size + length_field_long;
  }
  return head;
}

std::vector<uint8_t> container_file(const Pieces& code, const Pieces& data) {
  const ContainerHead head = container_head(static_cast<int32_t>(byte_count(code)));
  std::vector<uint8_t> file;
  file.reserve(static_cast<size_t>(head.size) + byte_count(code) + byte_count(data));
  file.insert(file.end(), head.bytes.begin(), head.bytes.begin() + head.size);
  for (const Pieces* seg : {&code, &data})
    for (std::span<const uint8_t> piece : *seg) file.insert(file.end(), piece.begin(), piece.end());
  return file;
}

std::vector<uint8_t> container_file(const Segments& seg) {
  return container_file(Pieces{std::span<const uint8_t>(seg.code_seg)}, Pieces{std::span<const uint8_t>(seg.data_seg)});
}

namespace {

bool write_all(std::FILE* out, const uint8_t* bytes, size_t n) {
  return n == 0 || std::fwrite(bytes, 1, n, out) == n;
}

bool write_pieces(std::FILE* out, const Pieces& pieces) {
  for (std::span<const uint8_t> piece : pieces)
    if (!write_all(out, piece.data(), piece.size())) return false;
  return true;
}

}  // namespace

int64_t write_container(std::FILE* out, const Pieces& code, const Pieces& data) {
  const size_t code_len = byte_count(code), data_len = byte_count(data);
  const ContainerHead head = container_head(static_cast<int32_t>(code_len));
  const bool ok = write_all(out, head.bytes.data(), static_cast<size_t>(head.size)) && write_pieces(out, code) &&
                  write_pieces(out, data) && std::fflush(out) == 0;
  if (!ok) return -1;
  return head.size + static_cast<int64_t>(code_len + data_len);
}

}  // namespace lz16
