// morph and frames: blends of START toward TARGET written as shape files.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/morph.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/picture.h"
#include "cli/png.h"
#include "cli/progress.h"
#include "cli/shape_files.h"
#include "cli/sheet.h"
#include "cli/timings.h"
#include "formats/shape_io.h"
#include "shape/arena.h"
#include "shape/parallel.h"
#include "shape/state.h"
#include "shape/vane.h"
#include "view/canvas.h"
#include "view/fit.h"
#include "view/settings.h"

namespace {

constexpr TUsage kMorphUsage = {
    "morph", "START.suf TARGET.suf PERCENT OUT.suf [--normals lerp|renormalize] [--blend LIST] [--timings]",
    "Moves every vertex value of START PERCENT percent of the way toward the\n"
    "corresponding value of TARGET and writes the result to OUT. PERCENT is a\n"
    "whole number; 0 gives START, 100 gives TARGET, values below 0 or above 100\n"
    "extrapolate. Vertices pair by position: the k-th vertex of the j-th polygon\n"
    "of the i-th object of both files. Where one file has fewer items the blend\n"
    "stops there and the rest keeps START's values. OUT - is standard output.\n"
    "\n"
    "  --normals lerp         blend normals component by component, as the\n"
    "                         desktop program does (the default)\n"
    "  --normals renormalize  then scale each blended normal of a shade or\n"
    "                         uvshade polygon back to unit length; one that blends\n"
    "                         to (near) zero length is left as it is and counted\n"
    "                         in a warning\n"
    "  --blend LIST           which values blend, of pos,normal,uv (default all\n"
    "                         three); the others keep START's values\n"
    "  --timings              print the time of each step on stderr\n"};

constexpr TUsage kFramesUsage = {
    "frames",
    "START.suf TARGET.suf FROM TO STEP PATTERN [--normals lerp|renormalize] [--blend LIST]\n"
    "       [--png | --png-only] [--view xy|yz|zx|perspective] [--size WxH] [--sheet OUT.png] [--quiet]\n"
    "       [--jobs N] [--shard I/N]",
    "Writes one blend of START toward TARGET for each percentage FROM,\n"
    "FROM+STEP, ... up to and including TO. PATTERN names the files and holds\n"
    "\"{}\" once, replaced by the percentage with at least three digits\n"
    "(005, 050, 100, 150, -50). STEP may be negative, never 0, and must land\n"
    "on TO. Prints each file name as it is written. --normals and --blend work\n"
    "as for morph. PATTERN always names files, never standard output.\n"
    "\n"
    "  --png            also draw each frame into a PNG named by PATTERN with\n"
    "                   .png in place of .suf (or added)\n"
    "  --png-only       the PNG pictures without the .suf files\n"
    "  --view VIEW      xy, yz, zx (axes across and up) or perspective (default xy)\n"
    "  --size WxH       picture size in pixels, each 1..8192 (default 400x400)\n"
    "  --sheet OUT.png  a contact sheet of every frame, labelled with its\n"
    "                   percentage, each frame at --size; --sheet - writes it to\n"
    "                   standard output and prints no file names\n"
    "  --quiet          no progress; progress (frame k of n, time left) is only\n"
    "                   ever shown when stderr is a terminal\n"
    "  --jobs N         make up to N frames at once (default: one per core the\n"
    "                   process may use); each job holds a copy of START. The\n"
    "                   files and the list printed are the same for every N\n"
    "  --shard I/N      write only share I (1 to N) of the frames: the frame\n"
    "                   numbered k from 0 belongs to share k mod N + 1. The N\n"
    "                   shares together write the files of one whole run, so\n"
    "                   they can run on N machines; not with --sheet\n"
    "Every picture is fitted to the box of all frames together, so the shape\n"
    "does not jump from one frame to the next (a shard blends every frame once\n"
    "to find that box).\n"};

// Reads --normals and --blend into Options. Returns false after printing
// the usage error.
bool ReadBlendOptions(const TArguments& args, const TUsage& usage, TBlendOptions& options) {
    if (const std::string_view* normals = args.Value("--normals")) {
        if (*normals == "renormalize") {
            options.Renormalize = true;
        } else if (*normals != "lerp") {
            UsageError(usage, "--normals must be lerp or renormalize, not '" + std::string(*normals) + "'");
            return false;
        }
    }
    if (const std::string_view* list = args.Value("--blend")) {
        options.Positions = options.Normals = options.TextureCoordinates = false;
        std::string_view rest = *list;
        while (true) {
            const std::size_t comma = rest.find(',');
            const std::string_view name = rest.substr(0, comma);
            if (name == "pos") {
                options.Positions = true;
            } else if (name == "normal") {
                options.Normals = true;
            } else if (name == "uv") {
                options.TextureCoordinates = true;
            } else {
                UsageError(usage, "--blend takes a list of pos, normal and uv, not '" + std::string(*list) + "'");
                return false;
            }
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
    }
    return true;
}

// Warns on stderr, naming the file, about normals too short to renormalise.
void WarnNearZeroNormals(const std::string& file_name, std::int64_t count) {
    if (count == 0) return;
    ClearProgress();
    PutBytes(file_name, stderr);
    std::fprintf(stderr, ": warning: %lld blended normals have (near) zero length and were left as they are\n",
                 static_cast<long long>(count));
}

// Puts a fresh copy of start into result, ready to be blended. Prints the
// reason and returns false when memory runs out.
bool CopyStart(TVANE_Object* start, TShapePtr& result) {
    result.reset(VANE->CopySuf(start));
    if (!result.get()) {
        ClearProgress();
        std::fprintf(stderr, "plivra-cli: %s\n", SufErrorMessage.c_str());
        return false;
    }
    return true;
}

// PATTERN with its "{}" replaced by the percentage, printed like "%03d".
std::string FrameFileName(const std::string& pattern, std::size_t slot, std::int32_t percent) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", static_cast<int>(percent));
    return pattern.substr(0, slot) + digits + pattern.substr(slot + 2);
}

// The picture's name for a frame file: .png in place of a final .suf, or added.
std::string PictureFileName(const std::string& frame_name) {
    constexpr std::string_view kSuf = ".suf";
    if (frame_name.size() > kSuf.size() && frame_name.ends_with(kSuf))
        return frame_name.substr(0, frame_name.size() - kSuf.size()) + ".png";
    return frame_name + ".png";
}

void PrintName(const std::string& file_name, bool print) {
    if (!print) return;
    PutBytes(file_name, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// What frames draws besides the shape files.
struct TPictures {
    bool Frames = false;       // one PNG per frame
    bool ShapeFiles = true;    // the .suf frames
    std::string SheetName;     // the contact sheet, when not empty
    std::uint8_t ViewKind = kViewXY;
    std::int32_t Width = 400;
    std::int32_t Height = 400;

    bool Any() const { return Frames || !SheetName.empty(); }
};

// Reads the picture options of frames. Returns false after printing the
// usage error.
bool ReadPictures(const TArguments& args, TPictures& pictures) {
    pictures.Frames = args.Has("--png") || args.Has("--png-only");
    pictures.ShapeFiles = !args.Has("--png-only");
    if (const std::string_view* sheet = args.Value("--sheet")) pictures.SheetName = *sheet;
    const std::string_view* view = args.Value("--view");
    const std::string_view* size = args.Value("--size");
    if ((view || size) && !pictures.Any()) {
        UsageError(kFramesUsage, "--view and --size need --png, --png-only or --sheet");
        return false;
    }
    if (view && !ParseView(*view, pictures.ViewKind)) {
        UsageError(kFramesUsage, "unknown view '" + std::string(*view) + "'");
        return false;
    }
    if (size && !ParseSize(*size, pictures.Width, pictures.Height)) {
        UsageError(kFramesUsage, "bad size '" + std::string(*size) + "'");
        return false;
    }
    return true;
}

}  // namespace

int RunMorph(int argc, char** argv) {
    TArguments args;
    if (const int status = ParseCommand(argc, argv, kMorphUsage, 4, args, {"--timings"}, {"--normals", "--blend"});
        status != kGoOn)
        return status;
    std::int32_t percent = 0;
    if (!ParseWholeNumber(args.Positionals[2], percent))
        return UsageError(kMorphUsage, "PERCENT must be a whole number in the signed 32-bit range, not '" +
                                           std::string(args.Positionals[2]) + "'");
    TBlendOptions options;
    if (!ReadBlendOptions(args, kMorphUsage, options)) return kExitUsage;
    const std::string out_name(args.Positionals[3]);

    TStepTimer timer(args.Has("--timings"));
    TShapePtr start, target;
    if (!LoadShapeFiles(std::string(args.Positionals[0]), start, std::string(args.Positionals[1]), target))
        return kExitFailed;
    timer.Lap("load start and target");
    // START is blended in place: a copy of it would be the same list, values
    // aside, and would hold as much memory again.
    const TBlendOutcome outcome = BlendSuf(start.get(), target.get(), start.get(), percent, options);
    WarnNearZeroNormals(out_name, outcome.NearZeroNormals);
    // A shape file is written as its text is made. Other formats make their
    // text whole first: the target's blocks go back to the system before.
    if (IsExportName(out_name)) {
        target.reset(nullptr);
        ReleaseSpareBlocks();
    } else {
        KeepToExit(target);
    }
    timer.Lap("blend");
    if (!SaveShapeFile(out_name, start.get())) return kExitFailed;
    timer.Lap("save");
    KeepToExit(start);
    return kExitOk;
}


namespace {

// What a frames run was asked for.
struct TFramesRun {
    std::string StartName, TargetName;
    std::int64_t From = 0, Step = 1, Count = 0;  // Count frames: From, From + Step, ...
    std::string Pattern;
    std::size_t Slot = 0;  // where "{}" stands in Pattern
    TBlendOptions Options;
    TPictures Pictures;
    std::int64_t Jobs = 1;
    std::int64_t Shard = 0, Shards = 1;  // this run makes the frames k with k % Shards == Shard
    bool Quiet = false;

    std::int32_t Percent(std::int64_t frame) const { return static_cast<std::int32_t>(From + frame * Step); }
    // Frames of this run's share, and the number of its Index-th one.
    std::int64_t ShareCount() const { return Count > Shard ? (Count - Shard - 1) / Shards + 1 : 0; }
    std::int64_t ShareFrame(std::int64_t Index) const { return Shard + Index * Shards; }
    // A sheet on standard output is alone there.
    bool PrintNames() const { return Pictures.SheetName != "-"; }
};

// Reads FROM TO STEP into Run. Returns false after printing the usage error.
bool ReadRange(const TArguments& args, TFramesRun& run) {
    std::int32_t range[3] = {};
    const char* names[3] = {"FROM", "TO", "STEP"};
    for (int i = 0; i < 3; ++i) {
        if (!ParseWholeNumber(args.Positionals[2 + static_cast<std::size_t>(i)], range[i])) {
            UsageError(kFramesUsage, std::string(names[i]) + " must be a whole number in the signed 32-bit range, not '" +
                                         std::string(args.Positionals[2 + static_cast<std::size_t>(i)]) + "'");
            return false;
        }
    }
    const std::int64_t from = range[0], to = range[1], step = range[2];
    if (step == 0) {
        UsageError(kFramesUsage, "STEP must not be 0");
        return false;
    }
    if ((to - from) % step != 0 || (to - from) / step < 0) {
        UsageError(kFramesUsage, "STEP " + std::to_string(step) + " never reaches TO " + std::to_string(to) +
                                     " from " + std::to_string(from));
        return false;
    }
    run.From = from;
    run.Step = step;
    run.Count = (to - from) / step + 1;
    return true;
}

// Reads --jobs and --shard I/N. Returns false after printing the usage error.
bool ReadJobs(const TArguments& args, TFramesRun& run) {
    run.Jobs = std::int64_t{CoreCount()};
    if (const std::string_view* jobs = args.Value("--jobs")) {
        std::int32_t value = 0;
        if (!ParseWholeNumber(*jobs, value) || value < 1) {
            UsageError(kFramesUsage, "--jobs takes a whole number from 1 up, not '" + std::string(*jobs) + "'");
            return false;
        }
        run.Jobs = value;
    }
    if (const std::string_view* shard = args.Value("--shard")) {
        const std::size_t slash = shard->find('/');
        std::int32_t index = 0, shards = 0;
        if (slash == std::string_view::npos || !ParseWholeNumber(shard->substr(0, slash), index) ||
            !ParseWholeNumber(shard->substr(slash + 1), shards) || shards < 1 || index < 1 || index > shards) {
            UsageError(kFramesUsage, "--shard takes I/N with 1 <= I <= N, not '" + std::string(*shard) + "'");
            return false;
        }
        if (!run.Pictures.SheetName.empty()) {
            UsageError(kFramesUsage, "--sheet needs every frame, so it cannot be split with --shard");
            return false;
        }
        run.Shard = index - 1;
        run.Shards = shards;
    }
    return true;
}

// Reads the arguments of frames into Run. Returns false when the command
// ends here, with its exit status in Status (help shown, or a usage error
// printed).
bool ReadFramesRun(int argc, char** argv, TFramesRun& run, int& status) {
    TArguments args;
    status = ParseCommand(argc, argv, kFramesUsage, 6, args, {"--png", "--png-only", "--quiet"},
                          {"--normals", "--blend", "--view", "--size", "--sheet", "--jobs", "--shard"});
    if (status != kGoOn) return false;
    status = kExitUsage;
    if (!ReadRange(args, run)) return false;
    run.Quiet = args.Has("--quiet");
    run.StartName = args.Positionals[0];
    run.TargetName = args.Positionals[1];
    run.Pattern = args.Positionals[5];
    run.Slot = run.Pattern.find("{}");
    if (run.Slot == std::string::npos || run.Pattern.find("{}", run.Slot + 2) != std::string::npos) {
        UsageError(kFramesUsage, "PATTERN must hold \"{}\" exactly once");
        return false;
    }
    if (!ReadBlendOptions(args, kFramesUsage, run.Options) || !ReadPictures(args, run.Pictures) ||
        !ReadJobs(args, run))
        return false;
    return true;
}

// One job's own blend result and picture. Every blend overwrites each value
// it reaches and leaves the rest as the start's, so one copy of the start
// serves every frame the job makes.
struct TFrameJob {
    TShapePtr Result;
    TBitmap Picture;
    TBoxGrowth<Extended> Box;
    std::exception_ptr Error;
};

// Runs work(job, i) for i = 0 .. count - 1, handing out i in order to the
// jobs, each on a thread of its own (the first on the calling thread). Once
// work returns false no further i is handed out. An exception ends that job
// and is thrown here after every job has stopped.
template <typename TWork>
void ForEachFrame(std::vector<TFrameJob>& jobs, std::int64_t count, const TWork& work) {
    std::atomic<std::int64_t> next{0};
    std::atomic<bool> stop{false};
    const auto run = [&](TFrameJob& job) {
        try {
            for (std::int64_t i = next++; i < count && !stop; i = next++)
                if (!work(job, i)) stop = true;
        } catch (...) {
            job.Error = std::current_exception();
            stop = true;
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t j = 1; j < jobs.size(); ++j) threads.emplace_back(run, std::ref(jobs[j]));
    run(jobs[0]);
    for (std::thread& thread : threads) thread.join();
    for (const TFrameJob& job : jobs)
        if (job.Error) std::rethrow_exception(job.Error);
}

// Fits Settings to the box of every frame of the whole run, not only of this
// share, so that shards draw the very pictures a single run draws.
void FitFrames(const TFramesRun& run, const TShapePtr& start, const TShapePtr& target,
               std::vector<TFrameJob>& jobs, TVANE_ViewSettings& settings) {
    ForEachFrame(jobs, run.Count, [&](TFrameJob& job, std::int64_t frame) {
        BlendSuf(start.get(), target.get(), job.Result.get(), run.Percent(frame), run.Options);
        AddShapeExtents(job.Result.get(), job.Box);
        return true;
    });
    // Minimum and maximum do not care in which order the frames came.
    TBoxGrowth<Extended> box;
    for (const TFrameJob& job : jobs)
        if (!job.Box.Empty()) box.Add(job.Box.Box());
    VANE->DefaultViewSettings(settings);
    settings.ViewKind = run.Pictures.ViewKind;
    settings.ClearFirst = true;
    settings.ShowGrid = false;
    FitPicture(box.Box(), run.Pictures.Width, run.Pictures.Height, settings);
}

// What a frame made, told in frame order.
struct TFrameReport {
    bool Finished = false;
    bool Written = false;  // every file of the frame written
    std::int64_t NearZeroNormals = 0;
    std::string Failure;  // why not, as ReportFailure prints it
};

// Prints the progress, warnings and names of the frames in their order,
// whichever job finishes first.
class TFrameLog {
public:
    explicit TFrameLog(const TFramesRun& Run)
        : run_(Run), reports_(static_cast<std::size_t>(Run.ShareCount())), progress_(Run.ShareCount(), Run.Quiet) {
        if (!reports_.empty()) progress_.Show(0);
    }

    // Records the share's Index-th frame and prints every frame that is next in order.
    void Finish(std::int64_t Index, const TFrameReport& Report) {
        const std::lock_guard lock(mutex_);
        reports_[static_cast<std::size_t>(Index)] = Report;
        while (!failed_ && next_ < reports_.size() && reports_[next_].Finished) {
            Print(reports_[next_], static_cast<std::int64_t>(next_));
            if (++next_ < reports_.size() && !failed_) progress_.Show(static_cast<std::int64_t>(next_));
        }
    }

    // After the jobs stopped early: prints the frames that finished after a
    // gap left by a frame that never started.
    void PrintRest() {
        const std::lock_guard lock(mutex_);
        for (; !failed_ && next_ < reports_.size(); ++next_)
            if (reports_[next_].Finished) Print(reports_[next_], static_cast<std::int64_t>(next_));
        progress_.Clear();
    }

private:
    void Print(const TFrameReport& report, std::int64_t index) {
        progress_.Clear();
        const std::string file_name = FrameFileName(run_.Pattern, run_.Slot, run_.Percent(run_.ShareFrame(index)));
        const std::string picture_name = PictureFileName(file_name);
        // One job would stop at the first frame that failed: the frames
        // after it are not told of.
        if (!report.Written) {
            PutBytes(report.Failure, stderr);
            failed_ = true;
        }
        WarnNearZeroNormals(run_.Pictures.ShapeFiles ? file_name : picture_name, report.NearZeroNormals);
        if (!report.Written) return;
        if (run_.Pictures.ShapeFiles) PrintName(file_name, run_.PrintNames());
        if (run_.Pictures.Frames) PrintName(picture_name, run_.PrintNames());
    }

    const TFramesRun& run_;
    std::mutex mutex_;
    std::vector<TFrameReport> reports_;
    std::size_t next_ = 0;
    bool failed_ = false;
    TProgress progress_;
};

// Blends the share's Index-th frame into the job's result and writes its
// files. Returns false when one could not be written (the reason in Report).
bool MakeFrame(const TFramesRun& run, const TShapePtr& start, const TShapePtr& target,
               const TVANE_ViewSettings& settings, TFrameJob& job, std::int64_t index, TFrameReport& report,
               TContactSheet& sheet, std::mutex& sheet_mutex) {
    const std::int32_t percent = run.Percent(run.ShareFrame(index));
    const std::string file_name = FrameFileName(run.Pattern, run.Slot, percent);
    // Told in frame order by the log, not as the jobs come upon them.
    const TFailureCapture capture(report.Failure);
    report.NearZeroNormals =
        BlendSuf(start.get(), target.get(), job.Result.get(), percent, run.Options).NearZeroNormals;
    if (run.Pictures.ShapeFiles && !SaveShapeFile(file_name, job.Result.get())) return false;
    if (run.Pictures.Any()) {
        TVANE_Colors colors;
        VANE->DefaultViewColors(colors);
        // The perspective view keeps its projection in library state.
        static std::mutex perspective_mutex;
        std::unique_lock perspective(perspective_mutex, std::defer_lock);
        if (settings.ViewKind == kViewPerspective) perspective.lock();
        VANE->DrawSuf(job.Result.get(), job.Picture, settings, colors);
    }
    if (run.Pictures.Frames && !WritePng(PictureFileName(file_name), job.Picture)) return false;
    if (!run.Pictures.SheetName.empty()) {
        const std::lock_guard lock(sheet_mutex);
        sheet.Place(run.ShareFrame(index), job.Picture, std::to_string(percent) + "%");
    }
    report.Written = true;
    return true;
}

}  // namespace

int RunFrames(int argc, char** argv) {
    TFramesRun run;
    int status = kExitOk;
    if (!ReadFramesRun(argc, argv, run, status)) return status;
    const TPictures& pictures = run.Pictures;
    TContactSheet sheet(run.Count, pictures.Width, pictures.Height);
    if (!pictures.SheetName.empty() && !sheet.Fits())
        return UsageError(kFramesUsage, "a sheet of " + std::to_string(run.Count) + " frames at " +
                                            std::to_string(pictures.Width) + "x" + std::to_string(pictures.Height) +
                                            " would be " + std::to_string(sheet.SheetWidth()) + "x" +
                                            std::to_string(sheet.SheetHeight()) +
                                            " pixels, too large; choose a smaller --size");

    TShapePtr start, target;
    if (!LoadShapeFile(run.StartName, start)) return kExitFailed;
    if (!LoadShapeFile(run.TargetName, target)) return kExitFailed;
    // The fit blends every frame of the run; the files only this share's.
    const std::int64_t busiest = pictures.Any() ? run.Count : run.ShareCount();
    std::vector<TFrameJob> jobs(static_cast<std::size_t>(std::clamp<std::int64_t>(busiest, 1, run.Jobs)));
    for (TFrameJob& job : jobs) {
        if (!CopyStart(start.get(), job.Result)) return kExitFailed;
        job.Picture.SetSize(pictures.Width, pictures.Height);
    }
    TVANE_ViewSettings settings;
    if (pictures.Any()) FitFrames(run, start, target, jobs, settings);

    TFrameLog log(run);
    std::mutex sheet_mutex;
    std::atomic<bool> failed{false};
    ForEachFrame(jobs, run.ShareCount(), [&](TFrameJob& job, std::int64_t index) {
        TFrameReport report;
        report.Finished = true;
        const bool written = MakeFrame(run, start, target, settings, job, index, report, sheet, sheet_mutex);
        log.Finish(index, report);
        if (!written) failed = true;
        return written;
    });
    log.PrintRest();
    if (failed) return kExitFailed;
    if (!pictures.SheetName.empty()) {
        if (!WritePng(pictures.SheetName, sheet.Bitmap())) return kExitFailed;
        PrintName(pictures.SheetName, run.PrintNames());
    }
    return kExitOk;
}
