// Whole operations of the session against the target model in one thread: every mode, both
// families, several crystals, and each fault the board can play.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "config/data_prep.h"
#include "config/work_dir.h"
#include "session_fakes.h"
#include "sim/firmware_image.h"
#include "sim/model_link.h"

namespace pelorin {
namespace {

using testing::Event;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kStart = 0x10000;
constexpr uint32_t kSize = 0x20000;

class FullRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto userDir = PrivateUserDir(std::getenv("TMPDIR"));
        ASSERT_TRUE(userDir.error.empty()) << userDir.error;
        std::string error;
        work = WorkDir::Open(userDir.path, &error);
        ASSERT_TRUE(work && ResetWorkTree(work->Paths())) << error;
        image = sim::MakeFirmwareImage(kSize, kSize / 2, 7);
    }
    void TearDown() override {
        shared.dumpFile.Close();
        if (work) CleanUpWorkFiles(work->Paths(), true);
    }
    std::filesystem::path Write(const std::string& name, const Bytes& bytes) {
        auto path = work->Paths().tempDir / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    // Runs one operation and returns the stage letters the session announced.
    std::string Run(uint8_t mode, uint8_t chip, unsigned hostCrystal, sim::TargetConfig config,
                    const Bytes& file = {}, bool whole = false) {
        timeline.Clear();
        SessionHeader h;
        h.mode = mode;
        h.chipCode = chip;
        h.crystalKhz = uint16_t(hostCrystal);
        h.startAddress = kStart;
        h.sectionSize = kSize;
        shared.SetSessionHeader(h);
        if (mode == 0) {
            PreparedData data = PrepareDataFile(work->Paths(), {Write("image.bin", file), whole, kStart, kSize});
            EXPECT_TRUE(data.ok) << data.error;
            shared.SetDataFilePath(data.dataFilePath.string());
            shared.SetHardwareInfo(data.HardwareInfoOver({}));
        }
        if (mode == 2) {
            EXPECT_TRUE(shared.dumpFile.Create((work->Paths().tempDir / "dump.bin").string()));
        }
        model = std::make_unique<sim::TargetModel>(std::move(config));
        sim::InProcessSession session(*model, shared, sink, prompt, images);
        session.Run(hostCrystal);
        std::string stages;
        for (const auto& p : timeline.Posts()) {
            if (p[0] == WM_SESSION_UPDATE && p[1] == 0) stages += char(p[2]);
        }
        return stages;
    }
    bool Finished() const {
        auto posts = timeline.Posts();
        return !posts.empty() && posts.back()[0] == WM_SESSION_FINISHED;
    }
    std::vector<std::string> Prompts() const {
        std::vector<std::string> out;
        for (const Event& e : timeline.Of(Event::Prompt)) out.push_back(e.text);
        return out;
    }
    Bytes FlashSection() const {
        return Bytes(model->Flash().begin() + kStart, model->Flash().begin() + kStart + kSize);
    }
    Bytes Dumped() const {
        std::ifstream in(work->Paths().tempDir / "dump.bin", std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), {});
    }

    std::optional<WorkDir> work;
    Bytes image;
    testing::Timeline timeline;
    testing::RecordingSink sink{timeline};
    testing::RecordingPrompt prompt{timeline};
    SharedState shared;
    TargetImages images;
    std::unique_ptr<sim::TargetModel> model;
};

sim::TargetConfig Board(unsigned crystal, sim::TargetFaults faults = {}) {
    sim::TargetConfig c;
    c.crystalKhz = crystal;
    c.faults = faults;
    return c;
}

TEST_F(FullRunTest, EveryModeForBothFamiliesAndSeveralCrystals) {
    for (uint8_t chip : {uint8_t(0), uint8_t(8), uint8_t(16), uint8_t(32), uint8_t(33)}) {
        for (unsigned crystal : {27000u, 13500u, 4000u}) {
            SCOPED_TRACE(::testing::Message() << "chip " << int(chip) << " crystal " << crystal);
            EXPECT_EQ(Run(0, chip, crystal, Board(crystal), image), "UABSVDKHIO");
            EXPECT_TRUE(Finished());
            EXPECT_EQ(FlashSection(), image);
            sim::TargetConfig programmed = Board(crystal);
            programmed.flash = model->Flash();
            EXPECT_EQ(Run(2, chip, crystal, programmed), "UABSFGO");
            EXPECT_EQ(Dumped(), image);
            EXPECT_EQ(Run(1, chip, crystal, Board(crystal)), "UABSHIO");
            EXPECT_EQ(FlashSection(), Bytes(kSize, 0xFF));
            EXPECT_TRUE(Prompts().empty());
        }
    }
}

TEST_F(FullRunTest, WholeFlashImageAndShortFile) {
    Bytes whole = sim::MakeFirmwareImage(2u << 20, 1u << 20, 3);
    const uint8_t signature[] = {0xAA, 0x55, 0xAA, 0x55, 0x30, 0x01, 0x55, 0xAA};
    std::copy(std::begin(signature), std::end(signature), whole.begin());
    EXPECT_EQ(Run(0, 0, 27000, Board(27000), whole, true), "UABSVDKHIO");
    EXPECT_EQ(FlashSection(), Bytes(whole.begin() + kStart, whole.begin() + kStart + kSize));
    // A file shorter than the section fills its start; the rest stays erased.
    Bytes shortFile(image.begin(), image.begin() + 1000);
    EXPECT_EQ(Run(0, 32, 27000, Board(27000), shortFile), "UABSVDKHIO");
    const Bytes flash = FlashSection();
    EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 1000), shortFile);
}

TEST_F(FullRunTest, SilenceLeavesTheSessionWaitingAtItsStage) {
    struct Case { char silentAt; const char* stages; };
    for (const Case& c : {Case{'U', "U"}, Case{'A', "UA"}, Case{'S', "UABS"}, Case{'H', "UABSVDKH"}}) {
        sim::TargetFaults f;
        f.silentAt = c.silentAt;
        EXPECT_EQ(Run(0, 0, 27000, Board(27000, f), image), c.stages) << c.silentAt;
        EXPECT_FALSE(Finished());
        EXPECT_TRUE(Prompts().empty());
    }
    // A board on another crystal never understands the answer to its prompt.
    EXPECT_EQ(Run(1, 0, 27000, Board(13500)), "");
    EXPECT_FALSE(Finished());
}

TEST_F(FullRunTest, TransferFaultsAreReported) {
    sim::TargetFaults f;
    f.wrongDramCheck = true;
    EXPECT_EQ(Run(0, 0, 27000, Board(27000, f), image), "UABS");
    EXPECT_EQ(Prompts(), std::vector<std::string>{"Error: Send data error!"});
    EXPECT_FALSE(Finished());

    f = {};
    f.wrongDataCheck = true;
    EXPECT_EQ(Run(0, 32, 27000, Board(27000, f), image), "UABSVDK");
    EXPECT_EQ(Prompts(), std::vector<std::string>{"Error: Send data error!"});

    f = {};
    f.corruptData = true;
    EXPECT_EQ(Run(0, 0, 27000, Board(27000, f), image), "UABSVDKN");
    EXPECT_TRUE(Finished());
    EXPECT_EQ(Prompts(), std::vector<std::string>{"Error: Decompress file error"});
    EXPECT_EQ(FlashSection(), Bytes(kSize, 0xFF));

    f = {};
    f.rejectHardware = true;
    EXPECT_EQ(Run(0, 8, 27000, Board(27000, f), image), "UABSVP");
    EXPECT_TRUE(Finished());
    EXPECT_EQ(shared.StatusText(), "Invalid bin file.The hardware version is incorrect.");
}

TEST_F(FullRunTest, NoisySplitAndEagerBoardsStillSucceed) {
    sim::TargetFaults f;
    f.noiseBytes = 5;
    f.splitFrames = true;
    EXPECT_EQ(Run(0, 0, 27000, Board(27000, f), image), "UABSVDKHIO");
    EXPECT_EQ(FlashSection(), image);
    sim::TargetConfig programmed = Board(27000, f);
    programmed.flash = model->Flash();
    programmed.faults.dumpAfterG = true;
    EXPECT_EQ(Run(2, 33, 27000, programmed), "UABSFGO");
    EXPECT_EQ(Dumped(), image);
    programmed.faults = {};
    programmed.faults.dumpAfterG = true;
    EXPECT_EQ(Run(2, 0, 27000, programmed), "UABSFGO");
    EXPECT_EQ(Dumped(), image);
}

}  // namespace
}  // namespace pelorin
