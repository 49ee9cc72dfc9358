// "Pyrel Kernel Uploader" through its controller against the virtual loader.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "KernelTestSupport.h"
#include "core/tool/kernel/KernelMessages.h"
#include "core/tool/app/ToolLauncher.h"
#include "core/tool/kernel/KernelUploader.h"

namespace corvel::test {
namespace {

using sim::VirtualPpc;
namespace text = kernel::text;

TEST(KernelAddressTest, TextsParseAsTheBoxTakesThem) {
  struct Case {
    const char* text;
    std::optional<uint32_t> address;
  };
  const Case cases[] = {
      {"0x1000", 0x1000},         {"x1000", 0x1000},       {"4096", 0x1000},        {"  0X1000\t", 0x1000},
      {"0xabcdef01", 0xABCDEF01}, {"0xFFFFFFFF", 0xFFFFFFFF}, {"4294967295", 0xFFFFFFFF},
      {"0x000000001000", 0x1000}, {"0", 0},
      {"1000h", std::nullopt},    {"ABC", std::nullopt},    {"", std::nullopt},      {"   ", std::nullopt},
      {"0x", std::nullopt},       {"0x12G4", std::nullopt}, {"12 34", std::nullopt}, {"-1", std::nullopt},
      // Beyond 32 bits would wrap to another address.
      {"0x100000000", std::nullopt}, {"4294967296", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseKernelAddress(c.text), c.address) << '"' << c.text << '"';
  EXPECT_EQ(FormatKernelAddress(0x1000), "0x00001000");
  EXPECT_EQ(FormatKernelAddress(0xFFC0ABCD), "0xFFC0ABCD");
}

TEST(KernelFileTest, OnlyWholeRegularFilesOfOneByteTo8MiBLoad) {
  TempDir dir;
  WriteBytes(dir.File("empty.ldr"), {});
  WriteBytes(dir.File("one.ldr"), {0x42});
  WriteBytes(dir.File("max.ldr"), std::vector<uint8_t>(kernel::kMaxKernelSize, 0x5A));
  WriteBytes(dir.File("over.ldr"), std::vector<uint8_t>(kernel::kMaxKernelSize + 1, 0x5A));
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  using P = KernelFileProblem;
  struct Case {
    std::string path;
    std::optional<std::size_t> size;
    KernelFileProblem problem;
  };
  const Case cases[] = {
      {dir.File("empty.ldr"), std::nullopt, P::Empty},
      {dir.File("one.ldr"), 1, P::None},
      {dir.File("max.ldr"), kernel::kMaxKernelSize, P::None},
      {dir.File("over.ldr"), std::nullopt, P::TooLarge},
      {dir.File("missing.ldr"), std::nullopt, P::CannotOpen},
      {dir.Path(), std::nullopt, P::NotRegular},
      {dir.File("fifo"), std::nullopt, P::NotRegular},
      {"/dev/zero", std::nullopt, P::NotRegular},
  };
  for (const auto& c : cases) {
    KernelFileProblem problem = P::CannotOpen;
    const auto bytes = ReadKernelFile(c.path, &problem);
    EXPECT_EQ(bytes ? std::optional<std::size_t>(bytes->size()) : std::nullopt, c.size) << c.path;
    EXPECT_EQ(problem, c.problem) << c.path;
  }
}

class KernelUploaderTest : public PpcTest {
 protected:
  KernelUploader& Uploader() {
    if (!m_uploader) m_uploader = std::make_unique<KernelUploader>(Env());
    return *m_uploader;
  }
  std::string KernelFile(std::size_t size) {
    const std::string path = dir.File("kernel.ldr");
    WriteBytes(path, Image(size));
    return path;
  }
  std::size_t DataPacketsWithPayload() {
    std::size_t n = 0;
    for (const auto& p : DataPackets()) n += p.payload.empty() ? 0 : 1;
    return n;
  }

  TempDir dir;
  std::unique_ptr<KernelUploader> m_uploader;
};

TEST_F(KernelUploaderTest, OpeningLoadsTheStoredFileShowsTheAddressAndConnects) {
  StartPpc();
  app.last_ppc_kernel_file = KernelFile(100);
  app.last_ppc_kernel_address = static_cast<int>(0xFFC00000u);
  EXPECT_EQ(Uploader().Open(), ToolOutcome::Done);
  EXPECT_TRUE(Uploader().Loaded());
  EXPECT_TRUE(Uploader().ProgramEnabled());
  EXPECT_EQ(Uploader().controls.address_text, "0xFFC00000");
  EXPECT_TRUE(ui.shown.empty());
  const std::vector<std::string> banner = {std::string(40, '-'), "Power PC Kernel Uploader", std::string(40, '-')};
  ASSERT_GE(trace.Lines().size(), 3u);
  EXPECT_EQ(std::vector<std::string>(trace.Lines().begin(), trace.Lines().begin() + 3), banner);
  EXPECT_TRUE(trace.Contains("Attempting to connect to PowerPC"));
}

TEST_F(KernelUploaderTest, SlowOpeningWithoutALoaderSaysSo) {
  StartPpc([](VirtualPpc& m) { m.faults.silent = true; });
  EXPECT_EQ(Uploader().Open(), ToolOutcome::Failed);
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{text::kCouldNotConnect});
  EXPECT_FALSE(Uploader().Loaded());
  EXPECT_FALSE(Uploader().ViewEnabled());
}

TEST_F(KernelUploaderTest, ARefusedAddressKeepsThePreviousOneAndTheBoxShowsIt) {
  StartPpc();
  Uploader().controls.address_text = " x2000 ";
  EXPECT_TRUE(Uploader().AddressFieldLeft());
  EXPECT_EQ(app.last_ppc_kernel_address, 0x2000);
  EXPECT_TRUE(trace.Contains("New kernel address: 0x00002000"));
  for (const char* bad : {"1000h", "ABC"}) {
    Uploader().controls.address_text = bad;
    EXPECT_FALSE(Uploader().AddressFieldLeft());
    EXPECT_EQ(Uploader().Address(), 0x2000u);
    EXPECT_EQ(Uploader().controls.address_text, "0x00002000");
    EXPECT_EQ(ui.LastText(), text::kInvalidAddress);
  }
  EXPECT_EQ(app.last_ppc_kernel_address, 0x2000);
}

TEST_F(KernelUploaderTest, ProgramSendsTheFileAndStoresItsPathAndAddress) {
  StartPpc();
  Uploader().controls.file_path = KernelFile(4097);
  Uploader().controls.address_text = "0x1000";
  EXPECT_EQ(Uploader().Program(), ToolOutcome::Done);
  EXPECT_EQ(Ppc([](VirtualPpc& m) { return m.Memory(0x1000, 4097); }), Image(4097));
  EXPECT_EQ(app.last_ppc_kernel_file, dir.File("kernel.ldr"));
  EXPECT_EQ(app.last_ppc_kernel_address, 0x1000);
  EXPECT_TRUE(trace.Contains("Programmed kernel file " + dir.File("kernel.ldr") +
                             " (size: 4097 bytes) successfully at address 0x00001000"));
  ASSERT_EQ(ui.progress.size(), 1u);
  EXPECT_EQ(ui.progress[0].caption_id, unsigned{kCaptionSendingDataToDevice});
  EXPECT_TRUE(ui.progress[0].destroyed);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(KernelUploaderTest, ARefusedAddressOrFileSendsNoData) {
  struct Case {
    const char* name;
    std::size_t file_size;  // 0: an empty file
    const char* address;
    const char* message;
  };
  const Case cases[] = {
      {"bad address", 16, "1000h", text::kInvalidAddress},
      {"empty file", 0, "0x1000", text::kInvalidFile},
      {"missing file", 16, "0x1000", text::kInvalidFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StartPpc();
    ui.shown.clear();
    m_uploader.reset();
    Uploader().controls.file_path = KernelFile(c.file_size);
    if (std::string(c.name) == "missing file") Uploader().controls.file_path = dir.File("gone.ldr");
    Uploader().controls.address_text = c.address;
    EXPECT_EQ(Uploader().Program(), ToolOutcome::NothingDone);
    EXPECT_TRUE(DataPackets().empty());
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{c.message});
    TearDown();
  }
}

TEST_F(KernelUploaderTest, AFailedUploadAsksAndYesStartsAgainFromTheFirstSection) {
  // The second section is refused once per upload try: three tries fail the
  // first upload; the second upload gets through.
  StartPpc([](VirtualPpc& m) { m.faults.refuse_always.insert(0x2000); });
  Uploader().controls.file_path = KernelFile(8192);
  Uploader().controls.address_text = "0x1000";
  ui.answers = {Answer::Yes, Answer::No};
  EXPECT_EQ(Uploader().Program(), ToolOutcome::Failed);
  EXPECT_EQ(ui.Texts(), (std::vector<std::string>{text::kRetryProgramming, text::kRetryProgramming}));
  EXPECT_TRUE(ui.shown[0].message.IsRetryQuestion());
  EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::Question);
  const auto data = DataPackets();
  ASSERT_EQ(data.size(), 8u);  // twice: section 1, then three tries of section 2
  EXPECT_EQ(data[4].address, 0x1000u);
  EXPECT_EQ(DataPacketsWithPayload(), 2u);
}

TEST_F(KernelUploaderTest, CancelBetweenSectionsEndsTheUpload) {
  StartPpc();
  Uploader().controls.file_path = KernelFile(4 * 4096);
  Uploader().controls.address_text = "0";
  ui.cancel_at_poll = 3;  // the poll before the second section
  EXPECT_EQ(Uploader().Program(), ToolOutcome::Cancelled);
  EXPECT_EQ(DataPackets().size(), 1u);
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{text::kRetryProgramming});
  EXPECT_TRUE(ui.progress.at(0).destroyed);
}

TEST_F(KernelUploaderTest, BrowseLoadsAndSaysWhetherTheFileIsUsable) {
  StartPpc();
  const std::string good = KernelFile(10);
  const std::string empty = dir.File("empty.ldr");
  WriteBytes(empty, {});
  ui.files = {good, empty};
  Uploader().controls.address_text = "0x1000";
  Uploader().Browse();
  EXPECT_TRUE(Uploader().Loaded());
  EXPECT_EQ(ui.shown.back().message.icon, MessageIcon::Information);
  EXPECT_EQ(ui.LastText(), text::kVerifiedFile);
  ASSERT_EQ(ui.file_requests.size(), 1u);
  EXPECT_EQ(ui.file_requests[0].filter, text::kFileFilter);
  EXPECT_EQ(ui.file_requests[0].default_extension, "ldr");
  EXPECT_TRUE(ui.file_requests[0].must_exist);
  Uploader().Browse();
  EXPECT_FALSE(Uploader().Loaded());
  EXPECT_EQ(ui.LastText(), text::kInvalidFile);
  EXPECT_EQ(app.last_ppc_kernel_file, good);
}

TEST_F(KernelUploaderTest, ViewFileShowsTheImageWithoutTrailingFf) {
  StartPpc();
  const std::string path = dir.File("k.ldr");
  WriteBytes(path, {0x01, 0xFE, 0xFF, 0x02, 0xFF, 0xFF});
  Uploader().controls.file_path = path;
  ui.files = {path};
  Uploader().Browse();
  Uploader().ViewFile();
  ASSERT_EQ(ui.hex_views.size(), 1u);
  EXPECT_EQ(ui.hex_views[0], "0x000000: 01 FE FF 02 ");
}

TEST_F(KernelUploaderTest, StartSendsTheTypedAddressOnly) {
  StartPpc();
  Uploader().controls.address_text = "ABC";
  EXPECT_EQ(Uploader().Start(), ToolOutcome::NothingDone);
  Uploader().controls.address_text = "x00400000";
  EXPECT_EQ(Uploader().Start(), ToolOutcome::Done);
  EXPECT_TRUE(trace.Contains("Starting application at address 0X400000"));
  ASSERT_TRUE(link.ProbeKernel());  // the loader has heard everything before this
  EXPECT_EQ(Ppc([](VirtualPpc& m) { return m.starts; }), (std::vector<uint32_t>{0x00400000}));
}

TEST_F(KernelUploaderTest, TheToolRunsAt115200AndLeavesTheLineAt19200WhateverTheOutcome) {
  struct Case {
    const char* name;
    std::function<void(VirtualPpc&)> fault;
    ToolOutcome outcome;
  };
  const Case cases[] = {
      {"programmed", {}, ToolOutcome::Done},
      {"refused", [](VirtualPpc& m) { m.faults.refuse_always.insert(0x1000); }, ToolOutcome::Failed},
      {"cancelled", {}, ToolOutcome::Cancelled},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto model = std::make_unique<VirtualPpc>();
    if (c.fault) c.fault(*model);
    StartDevice(std::move(model));
    m_uploader.reset();
    ui.cancel_at_poll = std::string(c.name) == "cancelled" ? ui.polls + 1 : 0;
    app.last_ppc_kernel_file = KernelFile(100);
    app.last_ppc_kernel_address = 0x1000;
    ToolOutcome outcome = ToolOutcome::NothingDone;
    uint32_t baud_in_tool = 0;
    ASSERT_TRUE(RunToolWithPort(Env(), ToolId::UploadPyrelKernel, [&] {
      baud_in_tool = port.BaudRate();
      KernelUploader uploader(Env());
      uploader.Open();
      outcome = uploader.Program();
      uploader.Close();
    }));
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(baud_in_tool, SerialPort::kHighBaud);
    EXPECT_EQ(port.BaudRate(), SerialPort::kDefaultBaud);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(Ppc([](VirtualPpc& m) { return m.sections_completed; }), c.outcome == ToolOutcome::Done ? 1 : 0);
    TearDown();
  }
}

}  // namespace
}  // namespace corvel::test
