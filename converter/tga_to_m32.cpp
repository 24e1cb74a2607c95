#include "tga_to_m32.h"

#include <vector>

namespace m32tga {

std::string WriteM32(TgaReader& tga, M32Header header, PositionedSink& out) {
  const M32Layout layout = LayOutM32(tga.Width(), tga.Height());
  if (!layout.error.empty()) return layout.error;
  PutLevels(layout, header);
  constexpr std::string_view kSinkFailed = "cannot write the m32";
  out.Reserve(layout.fileSize);
  if (!out.WriteAt(0, header)) return std::string(kSinkFailed);
  M32Writer writer(layout, out);
  for (std::uint32_t y = 0; y < tga.Height(); ++y) {
    const std::span<std::uint8_t> row = writer.NextRow();
    if (row.empty()) return std::string(kSinkFailed);
    if (!tga.ReadRow(row)) return tga.Error();
    if (!writer.AddRow(row)) return std::string(kSinkFailed);
  }
  if (!writer.Finish()) return std::string(kSinkFailed);
  return {};
}

}  // namespace m32tga
