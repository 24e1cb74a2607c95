// The window with the real converter beside it: converting a selection leaves a TGA
// beside each selected file, named after the file's long name, and none beside the
// others; a file that is not converted is named by its long name only.
#include "support/image_files.h"
#include "support/window_fixture.h"

namespace {

struct TgaSize {
  int width = -1, height = -1;
  bool operator==(const TgaSize&) const = default;
};

// The width and height a TGA file's header gives; -1 when there is no such file.
TgaSize SizeOfTga(const std::string& path) {
  const image_files::Bytes header = image_files::ReadBytes(testing_support::FsPath(path));
  if (header.size() < 18) return {};
  return {header[12] | header[13] << 8, header[14] | header[15] << 8};
}

void WriteTexture(const std::string& path, std::uint32_t width, std::uint32_t height) {
  image_files::WriteBytes(testing_support::FsPath(path),
                          image_files::EncodeM32(image_files::VariedImage(width, height), "textures/test"));
}

TEST_F(WindowTest, ConvertingASelectionLeavesATgaBesideEachSelectedFile) {
  WriteTexture(work("caf\xc3\xa9 noir.m32"), 4, 2);  // "café noir"
  WriteTexture(work("rock wall.m32"), 5, 3);
  WriteTexture(work("SKY.M32"), 8, 8);
  WriteTexture(work("unselected.m32"), 2, 2);
  WriteTexture(work("\xe6\x9c\xa8\xe7\x9b\xae.m32"), 3, 7);  // "木目", wood grain
  testing_support::WriteFile(work("damaged caf\xc3\xa9.m32"), "m32");
  auto& window = openWindow();
  ASSERT_EQ(window.File1.listCount(), 6);
  for (int i = 0; i < window.File1.listCount(); ++i)
    window.File1.setSelected(i, window.File1.list(i) != u"unselected.m32");
  testing_support::MessageBoxWatcher boxes;
  window.Command1_Click();

  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(runtime::ToUtf8(boxes.shown()[0].text),
            "1 of 5 files was not converted:\n\n"
            "damaged caf\xc3\xa9.m32: too short for an m32 texture: 3 bytes, the header alone is 968");

  EXPECT_EQ(SizeOfTga(work("caf\xc3\xa9 noir.tga")), (TgaSize{4, 2}));
  EXPECT_EQ(SizeOfTga(work("rock wall.tga")), (TgaSize{5, 3}));
  EXPECT_EQ(SizeOfTga(work("SKY.tga")), (TgaSize{8, 8}));
  EXPECT_EQ(SizeOfTga(work("\xe6\x9c\xa8\xe7\x9b\xae.tga")), (TgaSize{3, 7}));
  EXPECT_FALSE(std::filesystem::exists(testing_support::FsPath(work("unselected.tga"))));
}

}  // namespace
