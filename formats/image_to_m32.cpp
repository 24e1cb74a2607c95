#include "formats/image_to_m32.h"

#include <vector>

namespace formats {

std::string WriteM32(RowReader& image, M32Header header, PositionedSink& out, MipAverage average) {
  const M32Layout layout = LayOutM32(image.Width(), image.Height());
  if (!layout.error.empty()) return layout.error;
  PutLevels(layout, header);
  constexpr std::string_view kSinkFailed = "cannot write the m32";
  out.Reserve(layout.fileSize);
  if (!out.WriteAt(0, header)) return std::string(kSinkFailed);
  image.KeepRowsIn(out, layout.levels[0].offset);
  M32Writer writer(layout, out, average);
  for (std::uint32_t y = 0; y < image.Height(); ++y) {
    const std::span<std::uint8_t> row = writer.NextRow();
    if (row.empty()) return std::string(kSinkFailed);
    if (!image.ReadRow(row))
      return image.Error().empty() ? std::string("the image ends before its last row") : image.Error();
    if (!writer.AddRow(row)) return std::string(kSinkFailed);
  }
  if (!writer.Finish()) return std::string(kSinkFailed);
  return {};
}

}  // namespace formats
