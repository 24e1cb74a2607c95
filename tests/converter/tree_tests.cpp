// Pellicar.exe over whole trees: -r, -o FOLDER, --to, a folder --like, -u, -n and -j.
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#endif

#include <algorithm>

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "system/files.h"
#include "test_support.h"

namespace {

using testing_support::MakeHidden;
using testing_support::NativePath;

// Textures at relative names, each image kept to check what comes out.
std::map<std::string, RgbaImage> WriteTextures(const std::string& root, const std::vector<std::string>& names) {
  std::map<std::string, RgbaImage> written;
  std::uint32_t side = 2;
  for (const std::string& name : names) {
    fs::create_directories(Utf8Path(root + "/" + name).parent_path());
    written[name] = VariedImage(side, side + 1);
    WriteM32(Utf8Path(root + "/" + name), written[name]);
    side += 3;
  }
  return written;
}

std::string Stem(const std::string& name) { return name.substr(0, name.rfind('.')); }

// Hostile names, folders within folders past 260 characters, hidden files and folders,
// damaged files, a TGA and a text file, and on POSIX a link back up the tree: the
// outputs mirror the good textures pixel for pixel, and with -j 4 the failures come in
// the inputs' order, though the first takes far longer to fail than the others. On
// POSIX every file and folder made takes the umask, however many threads make them.
TEST(Trees, OutputsMirrorTheTreeAndFailuresComeInTheInputsOrder) {
  const TempDir folder;
  const std::string root = folder / "in";
  const std::string deep = std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(80, 'f');
  std::vector<std::string> good = {"a/Brick.M32", "a/b/c/deep ü ☃.m32", "a/-dash 'q' & %x%.m32", deep + "/x.m32"};
#ifndef _WIN32
  good.push_back("a/line\nbreak.m32");
#endif
  const auto images = WriteTextures(root, good);
  std::set<std::string> mirrored = {"b", "many"};  // the folder of files that failed is made too
  fs::create_directory(Utf8Path(root + "/many"));
  for (int i = 100; i < 300; ++i) {
    fs::copy_file(Utf8Path(root + "/a/Brick.M32"), Utf8Path(root + "/many/" + std::to_string(i) + ".m32"));
    mirrored.insert("many/" + std::to_string(i) + ".tga");
  }
#ifndef _WIN32
  fs::create_directory_symlink("..", Utf8Path(root + "/a/b/up"));
#endif
  WriteTextures(root, {".hidden/h.m32", "a/.h.m32"});
  MakeHidden(root + "/.hidden");
  MakeHidden(root + "/a/.h.m32");
  WriteM32(Utf8Path(root + "/a/zz cut.m32"), VariedImage(4096, 2048));
  fs::resize_file(Utf8Path(root + "/a/zz cut.m32"), 4096 * 2047 * 4);
  const std::vector<std::string> failing = {"a/zz cut.m32", "b/bad 1.m32", "b/bad 2.m32", "b/bad 3.m32"};
  fs::create_directory(Utf8Path(root + "/b"));
  for (const char* bad : {"b/bad 1.m32", "b/bad 2.m32", "b/bad 3.m32", "b/notes.txt", "b/pic.tga"})
    WriteBytes(Utf8Path(root + "/" + bad), {'b', 'a', 'd'});

#ifndef _WIN32
  const mode_t mask = umask(027);
#endif
  const RunResult run = RunConverter({"-r", "-j", "4", root, "-o", folder / "out"});
#ifndef _WIN32
  umask(mask);
  for (const std::string& name : Everything(folder / "out")) {
    struct stat status {};
    lstat(Utf8Path(folder / "out/" + name).c_str(), &status);
    EXPECT_EQ(status.st_mode & 0777, S_ISDIR(status.st_mode) ? 0750u : 0640u) << name;
  }
#endif
  EXPECT_EQ(run.exitCode, 1);
  std::string expected;
  for (const std::string& bad : failing) expected += NativePath(root + "/" + bad) + ": ";
  std::string said;
  for (std::size_t at = 0; at < run.err.size(); at = run.err.find('\n', at) + 1)
    said += run.err.substr(at, run.err.find(": ", at) + 2 - at);
  EXPECT_EQ(said, expected) << run.err;
  EXPECT_EQ(run.out, std::to_string(good.size() + 200) + " converted, 4 failed\n");
  for (const std::string& name : good) {
    mirrored.insert(Stem(name) + ".tga");
    for (auto slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
      mirrored.insert(name.substr(0, slash));
  }
  EXPECT_EQ(Everything(folder / "out"), std::vector<std::string>(mirrored.begin(), mirrored.end()));
  for (const auto& [name, image] : images) ExpectTga(Utf8Path(folder / "out/" + Stem(name) + ".tga"), image, false);
}

// Every header field but the levels' sides and offsets; a file too short for a header as it is.
std::vector<std::uint8_t> Fields(const std::vector<std::uint8_t>& m32) {
  if (m32.size() < image_files::kHeaderBytes) return m32;
  std::vector<std::uint8_t> fields(m32.begin(), m32.begin() + image_files::kHeaderBytes);
  std::fill(fields.begin() + image_files::kWidthsAt, fields.begin() + image_files::kOffsetsAt + 64, 0);
  return fields;
}

// Out to TGA and back with the first tree as --like, any case of the extension, each m32
// under the name of its --like m32; then in place, the output tree its own --like, which
// updates Brick.M32 itself, and once more with -u, which writes nothing. Every field comes
// back; a TGA without an m32 in the --like folder gets the default fields, and the
// summary counts it.
TEST(Trees, ARoundTripWithAFolderLikeGivesBackEveryHeaderField) {
  const TempDir folder;
  const std::vector<std::string> names = {"walls/Brick.M32", "walls/deep/Floor ü.m32", "Sky.m32"};
  std::map<std::string, std::vector<std::uint8_t>> originals;
  for (const std::string& name : names) {
    fs::create_directories(Utf8Path(folder / "textures/" + name).parent_path());
    originals[name] = RichM32(VariedImage(5, 7), static_cast<std::uint8_t>(originals.size() + 3));
    WriteBytes(Utf8Path(folder / "textures/" + name), originals[name]);
  }
  ASSERT_EQ(RunConverter({"-r", folder / "textures", "-o", folder / "edit"}).exitCode, 0);
  WriteBytes(Utf8Path(folder / "edit/walls/new.tga"), ReadBytes(Utf8Path(folder / "edit/Sky.tga")));

  const RunResult back = RunConverter(
      {"-r", folder / "edit", "--to", "m32", "--like", folder / "textures", "-o", folder / "textures-new"});
  ASSERT_EQ(back.exitCode, 0) << back.err;
  EXPECT_EQ(back.out, "4 converted (1 with default fields), 0 failed\n");
  for (const auto& [name, m32] : originals) {
    const std::vector<std::uint8_t> made = ReadBytes(Utf8Path(folder / "textures-new/" + name));
    EXPECT_EQ(Fields(made), Fields(m32)) << name;
  }
  const std::vector<std::uint8_t> fresh = ReadBytes(Utf8Path(folder / "textures-new/walls/new.m32"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&fresh.at(4))), "new");

  WriteBytes(Utf8Path(folder / "textures-new/walls/new.m32"), RichM32(VariedImage(2, 2), 9));
  const std::vector<std::string> before = Everything(folder / "textures-new");
  const std::vector<std::string> inPlace = {"-r",     folder / "edit",         "--to", "m32",
                                            "--like", folder / "textures-new", "-o",   folder / "textures-new"};
  const RunResult updated = RunConverter(inPlace);
  ASSERT_EQ(updated.exitCode, 0) << updated.err;
  EXPECT_EQ(Everything(folder / "textures-new"), before);
  EXPECT_EQ(Fields(ReadBytes(Utf8Path(folder / "textures-new/walls/new.m32"))), Fields(RichM32(VariedImage(2, 2), 9)));
  std::vector<std::string> again = inPlace;
  again.push_back("-u");
  EXPECT_EQ(RunConverter(again).out, "0 converted, 0 failed, 4 up to date\n");
}

fs::file_time_type Written(const std::string& file) { return fs::last_write_time(Utf8Path(file)); }

// A file written again has a new identity, however close in time the writes were.
std::pair<fs::file_time_type, std::optional<sys::FileIdentity>> Version(const std::string& file) {
  return {Written(file), sys::IdentityOf(Utf8Path(file))};
}

// One table for what the options do together: which files each run writes, what it
// says on stdout, and how it ends. -u and -n run over the tree as the rows before left it.
TEST(Trees, WhatEachCombinationOfOptionsWrites) {
  const TempDir folder;
  const std::string in = folder / "in";
  WriteTextures(in, {"a.m32", "sub/b.M32", "sub/c.m32"});
  WriteBytes(Utf8Path(in + "/sub/d.tga"), ReadBytes(Utf8Path(in + "/a.m32")));  // not a TGA at all
  const std::string out = folder / "out";
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::vector<std::string> written;  // outputs made or replaced, under the folder
    std::string out;                   // what stdout begins with
  } rows[] = {
      {{"-r", in, "-n"}, 0, {}, NativePath(in + "/a.tga") + " from " + NativePath(in + "/a.m32") + "\n"},
      {{"-r", in, "-o", out, "-j", "1"}, 0, {"out/a.tga", "out/sub/b.tga", "out/sub/c.tga"}, "3 converted, 0 failed"},
      {{"-r", in, "-o", out, "-u"}, 0, {}, "0 converted, 0 failed, 3 up to date"},
      {{"-r", in, "-o", out, "-u", "-n"}, 0, {}, "0 to convert, 0 failed, 3 up to date"},
      {{"-r", in}, 0, {"in/a.tga", "in/sub/b.tga", "in/sub/c.tga"}, "3 converted, 0 failed"},
      {{"-r", in, "--to", "m32", "-o", out},
       1,
       {"out/a.m32", "out/sub/b.m32", "out/sub/c.m32"},
       "3 converted, 1 failed"},
      {{"-r", in + "/a.m32", "-o", out}, 0, {"out/a.tga"}, ""},  // a file given with -r converts as itself
      {{in + "/sub"}, 1, {}, ""},                                // a folder without -r
      {{"-r", in, "--to", "png"}, 0, {"in/a.png", "in/sub/b.png", "in/sub/c.png"}, "3 converted, 0 failed"},
      {{"-r", in, "--to", "jpg"}, 2, {}, ""},
      {{"-r", in, "-j", "0"}, 2, {}, ""},
      {{"-r", in, "-j", "65"}, 2, {}, ""},
      {{"-r", in, "--to", "tga", "--like", in}, 2, {}, ""},
      {{"-r", folder / "linked"}, 2, {}, ""},  // the output would replace the input
  };
  WriteTextures(folder / "linked", {"x.m32"});
  fs::create_hard_link(Utf8Path(folder / "linked/x.m32"), Utf8Path(folder / "linked/x.tga"));
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.arguments));
    std::map<std::string, decltype(Version(""))> before;
    for (const std::string& name : Everything(folder.path())) before[name] = Version(folder / name);
    const RunResult run = RunConverter(row.arguments);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_EQ(run.out.substr(0, row.out.size()), row.out);
    std::vector<std::string> written;
    for (const std::string& name : Everything(folder.path())) {
      if (!fs::is_directory(Utf8Path(folder / name)) && before[name] != Version(folder / name)) written.push_back(name);
    }
    EXPECT_EQ(written, row.written);
  }
  // The third -u: one texture changed, one output written; then a --like file changed.
  fs::last_write_time(Utf8Path(in + "/sub/c.m32"), Written(out + "/sub/c.tga") + std::chrono::seconds(2));
  const fs::file_time_type untouched = Written(out + "/sub/b.tga");
  EXPECT_EQ(RunConverter({"-r", in, "-o", out, "-u"}).out, "1 converted, 0 failed, 2 up to date\n");
  EXPECT_EQ(Written(out + "/sub/b.tga"), untouched);
  std::vector<std::string> likeFile = {"--to", "m32", "--like", in + "/a.m32", out + "/a.tga", out + "/sub/b.tga"};
  EXPECT_EQ(RunConverter(likeFile).out, "2 converted, 0 failed\n");
  likeFile.push_back("-u");
  EXPECT_EQ(RunConverter(likeFile).out, "0 converted, 0 failed, 2 up to date\n");
  fs::last_write_time(Utf8Path(in + "/a.m32"), Written(out + "/a.m32") + std::chrono::seconds(2));
  EXPECT_EQ(RunConverter(likeFile).out, "2 converted, 0 failed, 0 up to date\n");
}

// The outputs a dry run lists ("OUTPUT from INPUT"), by their names under `root`, '/'
// between parts, and its summary with the words of a real run.
std::pair<std::vector<std::string>, std::string> Listed(const std::string& out, const std::string& root) {
  std::vector<std::string> listed;
  std::string summary;
  for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = out.substr(at, end - at);
    const std::size_t from = line.find(" from ");
    if (from == std::string::npos) summary = line + "\n";
    if (from == std::string::npos || !line.starts_with(root)) continue;
    listed.push_back(line.substr(root.size() + 1, from - root.size() - 1));
    std::replace(listed.back().begin(), listed.back().end(), '\\', '/');
  }
  std::sort(listed.begin(), listed.end());
  if (const std::size_t words = summary.find(" to convert"); words != std::string::npos)
    summary.replace(words, 11, " converted");
  return {listed, summary};
}

// One table of runs over a hostile tree, each made with -n first, then for real: the dry
// run changes nothing, says on stderr what the real run says, ends as it does with the
// same tally, and lists the outputs it writes. Outputs in the way: a folder, a read-only
// file, a file where a folder goes, on POSIX a named pipe and a link to one; inputs: a
// damaged file, on POSIX a named pipe, one file by two names; two inputs whose outputs
// are one file under two spellings; a --like m32 that is a folder; -u.
TEST(Trees, ADryRunMakesEveryCheckOfTheRealRun) {
  const TempDir folder;
  const std::string src = folder / "src", out = folder / "out", img = folder / "img";
  WriteTextures(src, {"a.m32", "b.m32", "c.m32", "d.m32", "f.m32", "g.m32", "sub/e.m32"});
  WriteBytes(Utf8Path(src + "/d.m32"), {'b', 'a', 'd'});
  fs::create_directories(Utf8Path(out + "/b.tga"));
  WriteBytes(Utf8Path(out + "/c.tga"), kEarlier);
  fs::permissions(Utf8Path(out + "/c.tga"), fs::perms::owner_read);
  WriteBytes(Utf8Path(out + "/sub"), kEarlier);
  // Outputs of f.m32 and g.m32 in the way, and an input, only on POSIX.
  std::string first = "3 converted, 4 failed\n", updated = "0 converted, 3 failed, 4 up to date\n";
#ifndef _WIN32
  mkfifo((out + "/f.tga").c_str(), 0666);
  mkfifo((folder / "pipe").c_str(), 0666);
  fs::create_symlink(folder / "pipe", out + "/g.tga");
  mkfifo((src + "/p.m32").c_str(), 0666);
  first = "1 converted, 7 failed\n";
  updated = "0 converted, 6 failed, 2 up to date\n";
#endif
  fs::create_directories(Utf8Path(img + "/sub"));
  fs::create_directories(Utf8Path(folder / "like/y.m32"));
  for (const char* image : {"x.tga", "x.png", "y.tga", "z.tga"})
    ASSERT_EQ(RunConverter({"--alpha", "-o", img + "/" + image, src + "/a.m32"}).exitCode, 0);
  const struct {
    std::vector<std::string> arguments;
    int exitCode;
    std::string out;
  } rows[] = {
      {{folder / "nonexistent.m32"}, 1, ""},
      {{src}, 1, ""},
      {{"-r", src, "-o", src + "/a.m32"}, 2, ""},
      {{"-r", src, "-o", out}, 1, first},
      {{"-r", src, "-o", out, "-u"}, 1, updated},
      {{src + "/a.m32", folder / "src/./a.m32"}, 0, ""},
      {{"-j", "2", img + "/x.tga", folder / "img/sub/../x.png"}, 1, "1 converted, 1 failed\n"},
      {{"-r", img, "--to", "m32", "--like", folder / "like", "-o", folder / "back"},
       1,
       "2 converted (2 with default fields), 2 failed\n"},
      {{"-r", img, "--to", "m32", "--like", folder / "like", "-o", folder / "back", "-u"},
       1,
       "0 converted, 2 failed, 2 up to date\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.arguments));
    std::map<std::string, decltype(Version(""))> before;
    for (const std::string& name : Everything(folder.path())) before[name] = Version(folder / name);
    std::vector<std::string> dry = row.arguments;
    dry.push_back("-n");
    const RunResult listed = RunConverter(dry);
    for (const std::string& name : Everything(folder.path())) EXPECT_EQ(before[name], Version(folder / name)) << name;
    EXPECT_EQ(Everything(folder.path()).size(), before.size());
    const RunResult run = RunConverter(row.arguments);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
    EXPECT_EQ(listed.exitCode, run.exitCode);
    EXPECT_EQ(listed.err, run.err);
    EXPECT_EQ(run.out, row.out);
    std::vector<std::string> written;
    for (const std::string& name : Everything(folder.path())) {
      if (!fs::is_directory(Utf8Path(folder / name)) && before[name] != Version(folder / name)) written.push_back(name);
    }
    EXPECT_EQ(Listed(listed.out, folder.path()), std::pair(written, run.out));
  }
  fs::permissions(Utf8Path(out + "/c.tga"), fs::perms::owner_write, fs::perm_options::add);  // to be removed
}

#ifndef _WIN32
// Interrupted while four conversions are under way, with named temporary files: no
// temporary file anywhere, and every TGA there is whole.
TEST(Trees, CtrlCDuringATreeLeavesNothingBehind) {
  const testing_support::ScopedEnv named("PELLICAR_TEST_NAMED_TEMPORARY", "1");
  const TempDir folder;
  fs::create_directory(folder / "in");
  WriteM32(folder / "in/t0.m32", VariedImage(2048, 1024));
  for (int i = 1; i < 16; ++i) fs::copy_file(folder / "in/t0.m32", folder / ("in/t" + std::to_string(i) + ".m32"));
  StartedConverter converter({"-r", "-j", "4", folder / "in", "-o", folder / "out"}, folder / "o", folder / "e");
  const auto underWay = [&] {
    std::error_code missing;
    for (fs::directory_iterator it(folder / "out", missing), end; !missing && it != end; it.increment(missing))
      if (it->path().filename().string().starts_with(".pellicar-")) return true;
    return false;
  };
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!underWay() && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
  converter.Signal(SIGINT);
  EXPECT_EQ(converter.Wait(), -1) << "ended before the signal";
  for (const std::string& name : Everything(folder / "out")) {
    EXPECT_FALSE(name.starts_with(".pellicar-")) << name;
    EXPECT_EQ(fs::file_size(folder / ("out/" + name)), 18u + 2048u * 1024 * 3 + 26)
        << name;  // header, 24-bit pixels, footer
  }
}
#endif

}  // namespace
