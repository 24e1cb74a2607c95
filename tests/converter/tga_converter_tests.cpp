// Pellicar.exe turning TGA and PNG files into m32 textures, run as a user runs it.
#include <algorithm>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using namespace image_files;

// Out and back with --like: the header as it was, and level 0 and every level below it
// from what the picture kept (a 24-bit TGA keeps no alpha, nor does the PNG of an
// opaque texture without --alpha: its colour type says so).
TEST(TgaToM32, ARoundTripWithLikeGivesBackTheTextureAndEveryHeaderField) {
  const TempDir folder;
  for (const std::string picture : {"rock.tga", "rock.png"}) {
    for (const bool opaque : {false, true}) {
      for (const bool alpha : {false, true}) {
        SCOPED_TRACE(picture + (opaque ? ", opaque" : ", with alpha") + (alpha ? ", --alpha" : ""));
        RgbaImage image = VariedImage(37, 21);
        for (std::size_t i = 3; opaque && i < image.rgba.size(); i += 4) image.rgba[i] = 255;
        const Bytes original = RichM32(image);
        WriteBytes(folder / "rock.m32", original);
        std::vector<std::string> out{"-o", folder / picture, folder / "rock.m32"};
        if (alpha) out.insert(out.begin(), "--alpha");
        ASSERT_EQ(RunConverter(out).exitCode, 0);
        if (picture == "rock.png") {
          EXPECT_EQ(ReadBytes(folder / picture).at(25), opaque && !alpha ? 2 : 6) << "the colour type";
        }

        const RunResult back =
            RunConverter({"--like", folder / "rock.m32", "-o", folder / "rock.m32", folder / picture});
        ASSERT_EQ(back.exitCode, 0) << back.err;
        EXPECT_EQ(back.err, "");
        for (std::size_t i = 3; !alpha && picture == "rock.tga" && i < image.rgba.size(); i += 4) image.rgba[i] = 255;
        Bytes want = EncodeM32(image, "");
        std::copy_n(original.begin(), kHeaderBytes, want.begin());
        EXPECT_EQ(ReadBytes(folder / "rock.m32"), want);
      }
    }
  }
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"rock.m32", "rock.png", "rock.tga"}));
}

// --like refuses a reference that is not a sound m32; both ways go in one run, and the
// rest still convert when one fails.
TEST(TgaToM32, LikeNeedsASoundM32AndBothWaysGoInOneRun) {
  const TempDir folder;
  const RgbaImage a = FewColourImage(5, 4);
  const RgbaImage b = VariedImage(3, 7);
  WriteBytes(folder / "a.tga", MakeTga(a, TgaFormat{}));
  WriteM32(folder / "b.m32", b);
  WriteBytes(folder / "c.tga", {0, 0, 2, 0, 0});
  WriteBytes(folder / "d Wall.Tga", MakeTga(a, {.type = 10}));
  Bytes bad = EncodeM32(VariedImage(2, 2), "x");
  PutU32(bad, kVersionAt, 5);
  WriteBytes(folder / "bad.m32", bad);
  Bytes cut = EncodeM32(VariedImage(8, 8), "x");
  cut.resize(1000);
  WriteBytes(folder / "cut.m32", cut);
  const std::vector<std::string> before = folder.names();
  for (const std::string reference : {"bad.m32", "cut.m32", "missing.m32"})
    ExpectRefused(RunConverter({"--like", folder / reference, folder / "a.tga"}), folder / reference + ": ");
  EXPECT_EQ(folder.names(), before);

  const RunResult run = RunConverter({folder / "a.tga", folder / "b.m32", folder / "c.tga", folder / "d Wall.Tga"});
  ExpectRefused(run, folder / "c.tga: ");
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"a.m32", "a.tga", "b.m32", "b.tga", "bad.m32", "c.tga", "cut.m32",
                                                      "d Wall.Tga", "d Wall.m32"}));
  EXPECT_EQ(ReadBytes(folder / "a.m32"), EncodeM32(a, "a"));
  EXPECT_EQ(ReadBytes(folder / "d Wall.m32"), EncodeM32(a, "d Wall")) << "named after its file";
  ExpectTga(folder / "b.tga", b, false);
}

}  // namespace
