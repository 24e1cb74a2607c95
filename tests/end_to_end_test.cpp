// The window with the real converter beside it: converting a selection leaves a TGA
// beside each selected file, named after the file's long name, and none beside the
// others; a file that is not converted is named by its long name only.
#include "support/image_files.h"
#include "support/window_fixture.h"

namespace {

TEST_F(WindowTest, ConvertingASelectionLeavesATgaBesideEachSelectedFile) {
  const struct {
    std::string name, tga;  // of the texture, and of the TGA beside it when it is selected
    int width, height;
  } textures[] = {{"caf\xc3\xa9 noir.m32", "caf\xc3\xa9 noir.tga", 4, 2},  // "café noir"
                  {"rock wall.m32", "rock wall.tga", 5, 3},
                  {"SKY.M32", "SKY.tga", 8, 8},
                  {"unselected.m32", "unselected.tga", 2, 2},
                  {"\xe6\x9c\xa8\xe7\x9b\xae.m32", "\xe6\x9c\xa8\xe7\x9b\xae.tga", 3, 7}};  // "木目", wood grain
  for (const auto& texture : textures) {
    image_files::WriteBytes(testing_support::FsPath(work(texture.name)),
                            image_files::EncodeM32(image_files::VariedImage(texture.width, texture.height), "t"));
  }
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
  for (const auto& texture : textures) {
    SCOPED_TRACE(texture.name);
    const auto tga = image_files::ReadBytes(testing_support::FsPath(work(texture.tga)));
    EXPECT_EQ(tga.size() >= 18, texture.name != "unselected.m32");
    if (tga.size() < 18) continue;
    EXPECT_EQ(std::pair(tga[12] | tga[13] << 8, tga[14] | tga[15] << 8), std::pair(texture.width, texture.height));
  }
}

}  // namespace
