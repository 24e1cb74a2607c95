#include "formats/image_to_m32.h"

#include <algorithm>
#include <vector>

namespace formats {

std::string WriteM32(RowReader& image, M32Header header, PositionedSink& out, MipAverage average,
                     ReferenceLevels* reference) {
  if (reference != nullptr && !reference->SameSides(image.Width(), image.Height())) reference = nullptr;
  const M32Layout layout =
      LayOutM32(image.Width(), image.Height(), reference != nullptr ? reference->LevelCount() : kM32Levels);
  if (!layout.error.empty()) return layout.error;
  PutLevels(layout, header);
  constexpr std::string_view kSinkFailed = "cannot write the m32";
  out.Reserve(layout.fileSize);
  if (!out.WriteAt(0, header)) return std::string(kSinkFailed);
  image.KeepRowsIn(out, layout.levels[0].offset);
  M32Writer writer(layout, out, average);
  bool level0AsReference = reference != nullptr;
  for (std::uint32_t y = 0; y < image.Height(); ++y) {
    const std::span<std::uint8_t> row = writer.NextRow();
    if (row.empty()) return std::string(kSinkFailed);
    if (!image.ReadRow(row))
      return image.Error().empty() ? std::string("the image ends before its last row") : image.Error();
    if (level0AsReference) {
      const std::span<const std::uint8_t> theirs = reference->NextRow();
      if (theirs.empty()) return "the reference: " + reference->Error();
      level0AsReference = std::equal(row.begin(), row.end(), theirs.begin(), theirs.end());
    }
    if (!writer.AddRow(row)) return std::string(kSinkFailed);
  }
  if (!writer.Finish()) return std::string(kSinkFailed);
  if (level0AsReference && reference->KeepMips(layout.levels, out) == ReferenceLevels::Kept::kFailed)
    return reference->Error().empty() ? std::string(kSinkFailed) : "the reference: " + reference->Error();
  return {};
}

}  // namespace formats
