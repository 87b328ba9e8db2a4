// pelorin-demo: a Download, a Dump and an Erase of a generated image through the session and
// the target model in one process, checking the flash and the dump file after each.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "config/data_prep.h"
#include "config/default_layout.h"
#include "config/ini_reader.h"
#include "config/segment_table.h"
#include "config/work_dir.h"
#include "session/messages.h"
#include "sim/firmware_image.h"
#include "sim/model_link.h"

using namespace pelorin;

namespace {

class PrintingSink final : public ISessionSink {
  public:
    explicit PrintingSink(SharedState& shared) : shared_(shared) {}
    void Post(uint32_t id, uint64_t kind, int64_t value) override {
        if (id == WM_SESSION_FINISHED) finished = true;
        if (id != WM_SESSION_UPDATE) return;
        if (kind == kUpdateStage) {
            stage = char(value);
            std::printf("  [%c] %s\n", stage, shared_.StatusText().c_str());
        } else if (kind == kUpdateMain && value / 25 != lastQuarter_) {
            lastQuarter_ = value / 25;
            std::printf("      overall %3lld%%\n", static_cast<long long>(value));
        }
    }
    void Beep() override {}
    void Reset() {
        finished = false;
        stage = 0;
        lastQuarter_ = -1;
    }
    bool finished = false;
    char stage = 0;

  private:
    SharedState& shared_;
    int64_t lastQuarter_ = -1;
};

class PrintingPrompt final : public IOperatorPrompt {
  public:
    PromptAnswer Show(const PromptRequest& r) override {
        std::fprintf(stderr, "%s: %s\n", r.caption.c_str(), r.text.c_str());
        return PromptAnswer::Ok;
    }
};

bool Check(bool ok, const char* what) {
    std::printf("%s: %s\n", what, ok ? "ok" : "FAILED");
    return ok;
}

}  // namespace

int main() {
    const SegmentTable table = LoadSegmentTable(IniText(DefaultLayoutText()));
    const SegmentEntry* section = nullptr;
    for (const SegmentEntry& s : table)
        if (s.name == "Main Code") section = &s;
    if (!section) return 1;

    auto userDir = PrivateUserDir(std::getenv("TMPDIR"));
    std::string error;
    auto work = userDir.error.empty() ? WorkDir::Open(userDir.path, &error) : std::nullopt;
    if (!work || !ResetWorkTree(work->Paths())) {
        std::fprintf(stderr, "cannot set up a working directory: %s%s\n", userDir.error.c_str(),
                     error.c_str());
        return 1;
    }
    const auto& paths = work->Paths();
    const auto image = sim::MakeFirmwareImage(section->segSize, section->segSize * 3 / 4);
    const auto imagePath = paths.tempDir / "demo-image.bin";
    const auto dumpPath = paths.tempDir / "demo-dump.bin";
    std::ofstream(imagePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

    TargetImages images;
    sim::TargetConfig config;
    config.crystalKhz = 27000;
    sim::TargetModel model(config);
    SharedState shared;
    PrintingSink sink(shared);
    PrintingPrompt prompt;
    sim::InProcessSession session(model, shared, sink, prompt, images);

    SessionHeader header;
    header.chipCode = 0;
    header.crystalKhz = 27000;
    header.startAddress = section->startAddr;
    header.sectionSize = section->segSize;
    auto run = [&](uint8_t mode, const char* name) {
        header.mode = mode;
        shared.SetSessionHeader(header);
        sink.Reset();
        std::printf("%s of section \"%s\" (%u bytes at 0x%X):\n", name, section->name.c_str(),
                    section->segSize, section->startAddr);
        session.Run(header.crystalKhz);
        return sink.finished && sink.stage == 'O';
    };

    bool ok = true;
    PreparedData data =
        PrepareDataFile(paths, {imagePath, false, section->startAddr, section->segSize});
    if (!data.ok) {
        std::fprintf(stderr, "%s\n", data.error.c_str());
        return 1;
    }
    std::printf("Prepared %zu bytes as a %llu-byte gzip member\n", image.size(),
                static_cast<unsigned long long>(data.preparedBytes));
    shared.SetDataFilePath(data.dataFilePath.string());
    shared.SetHardwareInfo(data.HardwareInfoOver({}));
    const auto flashSection = [&] {
        auto begin = model.Flash().begin() + section->startAddr;
        return std::vector<uint8_t>(begin, begin + section->segSize);
    };
    ok &= Check(run(0, "Download"), "Download completed");
    ok &= Check(flashSection() == image, "Flash section equals the image");

    shared.dumpFile.Create(dumpPath.string());
    ok &= Check(run(2, "Dump"), "Dump completed");
    std::ifstream in(dumpPath, std::ios::binary);
    std::vector<uint8_t> dumped((std::istreambuf_iterator<char>(in)), {});
    ok &= Check(dumped == flashSection(), "Dump file equals the flash section");

    ok &= Check(run(1, "Erase"), "Erase completed");
    ok &= Check(flashSection() == std::vector<uint8_t>(section->segSize, 0xFF),
                "Flash section is erased");

    CleanUpWorkFiles(paths, true);
    std::filesystem::remove(imagePath);
    std::filesystem::remove(dumpPath);
    std::printf("%s\n", ok ? "Demo passed" : "Demo FAILED");
    return ok ? 0 : 1;
}
