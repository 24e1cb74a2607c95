// Converter tests that need what only POSIX systems have: a file size limit, a file
// shortened while it is open, names Windows does not allow.
#include <gtest/gtest.h>

#include "convert.h"
#include "file_io.h"
#include "m32write.h"
#include "number_text.h"
#include "test_support.h"

namespace {

using m32write::RgbaImage;

TEST(Converter, AFailedWriteLeavesTheEarlierTgaWholeAndNoTemporaryFile) {
  const TempDir folder;
  WriteM32(folder / "rock.m32", VariedImage(512, 512));
  const std::vector<std::uint8_t> earlier(2000, 'e');
  WriteBytes(folder / "rock.tga", earlier);
  const std::uint64_t limit = 100000;  // well short of the 768 KiB the TGA needs
  const RunResult run = RunConverter({folder / "rock.m32"}, limit);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
  EXPECT_EQ(ReadBytes(folder / "rock.tga"), earlier);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"rock.m32", "rock.tga"}));
}

std::string Shortened(std::uintmax_t end, std::uintmax_t sizeWhenOpened) {
  return "changed while being read: ends at byte " + m32tga::WithSeparators(end) + " of " +
         m32tga::WithSeparators(sizeWhenOpened);
}

// The file is cut after it was opened and its size taken, as when another program
// truncates it while we convert: inside the header, and inside level 0's pixels.
TEST(Converter, AFileShortenedAfterOpeningGivesAnErrorAndLeavesTheEarlierTgaWhole) {
  const std::uintmax_t insideHeader = 500;
  const std::uintmax_t insidePixels = m32write::kHeaderBytes + 1000;
  for (const std::uintmax_t cut : {insideHeader, insidePixels}) {
    SCOPED_TRACE("cut to " + std::to_string(cut) + " bytes");
    const TempDir folder;
    WriteM32(folder / "rock.m32", VariedImage(300, 200));
    const std::uintmax_t fullSize = fs::file_size(folder / "rock.m32");
    const std::vector<std::uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    WriteBytes(folder / "rock.tga", earlier);

    m32tga::InputFile input(folder / "rock.m32");
    ASSERT_EQ(input.Error(), "");
    fs::resize_file(folder / "rock.m32", cut);
    const std::string error = m32tga::ConvertFile(input, folder / "rock.tga", m32tga::TgaDepth::kBgr24);

    EXPECT_EQ(error, Shortened(cut, fullSize));
    EXPECT_EQ(ReadBytes(folder / "rock.tga"), earlier);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"rock.m32", "rock.tga"}));
  }
}

// Cuts the input file the first time output arrives, that is after the encoder has
// read and converted the bottom rows, and counts what it was given.
class CuttingSink final : public m32tga::ByteSink {
 public:
  CuttingSink(fs::path input, std::uintmax_t cut) : input_(std::move(input)), cut_(cut) {}
  bool Write(std::span<const std::uint8_t> bytes) override {
    if (written_ == 0) fs::resize_file(input_, cut_);
    written_ += bytes.size();
    return true;
  }
  std::size_t Written() const { return written_; }

 private:
  fs::path input_;
  std::uintmax_t cut_;
  std::size_t written_ = 0;
};

TEST(Converter, AFileShortenedInMidConversionStopsTheEncoderWithAnError) {
  const std::uint32_t width = 2048;  // rows of 8 KiB, read in four blocks of 32 rows
  const std::uint32_t height = 128;
  const TempDir folder;
  WriteM32(folder / "rock.m32", VariedImage(width, height));
  const std::uintmax_t fullSize = fs::file_size(folder / "rock.m32");
  const std::vector<std::uint8_t> file = ReadBytes(folder / "rock.m32");
  const std::uintmax_t insideTopRows = m32write::kHeaderBytes + 5 * width * 4 + 100;

  m32tga::InputFile input(folder / "rock.m32");
  const m32tga::HeaderResult header = m32tga::CheckM32Header({file.data(), m32tga::kM32HeaderBytes}, input.Size());
  ASSERT_TRUE(header.Ok()) << header.error;
  m32tga::FileRows rows(input, header.level0);
  CuttingSink sink(folder / "rock.m32", insideTopRows);
  EXPECT_FALSE(m32tga::WriteTga({width, height}, rows, m32tga::TgaDepth::kBgr24, sink));

  EXPECT_GT(sink.Written(), 0u) << "the cut came before any output";
  EXPECT_LT(sink.Written(), std::size_t{width} * height * 3) << "rows past the cut went out";
  EXPECT_EQ(input.Error(), Shortened(insideTopRows, fullSize));
}

}  // namespace
