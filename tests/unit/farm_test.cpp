// The build farm: the engines TARVO_ENGINES names, what their answers say, where each target
// goes, and a farm run in-process on engines that a recording launcher plays.
#include "tarvo/artifacts/farm.hpp"
#include "tarvo/container/engines.hpp"

#include "harness.hpp"
#include "recording_launcher.hpp"

#include <algorithm>
#include <atomic>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sys/resource.h>
#include <thread>

namespace {

using namespace tarvo::container;
using namespace tarvo::testing;
using tarvo::process::Overlay;

TEST(Farm, EnginesFromTheSetting) {
  ScopedEnv host{"DOCKER_HOST", std::nullopt};
  ScopedEnv context{"DOCKER_CONTEXT", "arm-box"};
  for (auto setting : {std::optional<std::string_view>(), std::optional<std::string_view>(" ")}) {
    auto current = endpoints(setting);
    ASSERT_EQ(current.size(), 1u);
    EXPECT_EQ(current[0].name, "arm-box");
    EXPECT_TRUE(current[0].overlay.empty());
  }
  auto listed = endpoints("default, arm-box ,ssh://builder@x86-box");
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].name, "default");
  // Docker's default context follows DOCKER_HOST: it is left as it is.
  EXPECT_EQ(listed[0].overlay, (Overlay{{"DOCKER_CONTEXT", "default"}}));
  EXPECT_EQ(listed[1].name, "arm-box");
  EXPECT_EQ(listed[1].overlay,
            (Overlay{{"DOCKER_CONTEXT", "arm-box"}, {"DOCKER_HOST", std::nullopt}}));
  EXPECT_EQ(listed[2].overlay,
            (Overlay{{"DOCKER_CONTEXT", std::nullopt}, {"DOCKER_HOST", "ssh://builder@x86-box"}}));
  for (const auto &[setting, message] : std::vector<std::pair<std::string, std::string>>{
           {"a,,b", "ValueError: TARVO_ENGINES has an empty entry: 'a,,b'"},
           {"a,", "ValueError: TARVO_ENGINES has an empty entry: 'a,'"},
           {"a, b,a", "ValueError: TARVO_ENGINES lists 'a' twice"}}) {
    try {
      endpoints(setting);
      ADD_FAILURE() << setting;
    } catch (const tarvo::Error &e) {
      EXPECT_EQ(error_line(e), message);
    }
  }
}

TEST(Farm, EngineAnswers) {
  for (const auto &[text, machine, capacity] :
       std::vector<std::tuple<std::string, std::string, int>>{
           {"x86_64 2\n", "x86_64", 2}, {"amd64 16", "x86_64", 16}, {"aarch64 8", "aarch64", 8}}) {
    auto seat = parse_engine_answer("e", text);
    ASSERT_TRUE(seat) << text;
    EXPECT_EQ(seat->machine, machine);
    EXPECT_EQ(seat->capacity, capacity);
  }
  for (const char *text : {"", "x86_64", "<no value> <no value>", "x86_64 0", "x86_64 two"}) {
    EXPECT_FALSE(parse_engine_answer("e", text)) << text;
  }
}

TEST(Farm, DurationsAreRoundedBeforeTheyArePrinted) {
  for (const auto &[seconds, text] :
       std::vector<std::pair<double, std::string>>{{0.44, "0.4 s"},
                                                   {12.25, "12.3 s"},
                                                   {59.94, "59.9 s"},
                                                   {59.96, "1 min 0 s"},
                                                   {125.4, "2 min 5 s"}}) {
    EXPECT_EQ(tarvo::artifacts::duration_text(seconds), text) << seconds;
  }
}

TEST(Farm, TargetsGoToEnginesOfTheirArchitecture) {
  const std::vector<EngineSeat> seats = {
      {"a", "x86_64", 2}, {"b", "aarch64", 1}, {"c", "x86_64", 1}};
  const std::vector<Target> targets = {{"x86_64"}, {"aarch64"}, {"riscv64"}};
  EXPECT_EQ(eligible_engines(targets, seats),
            (std::vector<std::vector<std::size_t>>{{0, 2}, {1}, {0, 1, 2}}));
  EXPECT_EQ(emulation_line(targets, seats), "No engine runs riscv64: its targets are emulated");
  EXPECT_EQ(emulation_line({{"riscv64"}, {"s390x"}}, seats),
            "No engine runs riscv64 or s390x: their targets are emulated");
  EXPECT_EQ(emulation_line({{"x86_64"}}, seats), std::nullopt);
  // The least loaded for its size, the first listed among equals, none while all are full.
  const std::vector<std::size_t> x86 = {0, 2};
  EXPECT_EQ(pick_engine(x86, seats, {0, 0, 0}), 0u);
  EXPECT_EQ(pick_engine(x86, seats, {1, 0, 0}), 2u);
  EXPECT_EQ(pick_engine(x86, seats, {1, 0, 1}), 0u);
  EXPECT_EQ(pick_engine(x86, seats, {2, 0, 1}), std::nullopt);
}

// Four targets on two engines of one place each, a third engine that does not answer: each
// engine runs one target at a time, the others wait for a place, the failure's own words are in
// the table and after it, a wheel test's counts stand for its result, and the command fails
// naming the failed target.
TEST(Farm, RunsTargetsSideBySideAndTablesThem) {
  RecordingLauncher launcher;
  std::mutex lock;
  std::map<std::string, int> running;
  std::map<std::string, int> most;
  launcher.answer_call = [&](const Launched &call) -> RecordingLauncher::Answer {
    const std::string engine = call.options.env ? call.options.env->at("DOCKER_CONTEXT") : "";
    if (call.args[1] == "info") {
      if (engine == "gone") {
        return {1, "", "Cannot connect to the Docker daemon at unix:///gone.sock\n"};
      }
      return {0, "x86_64 1\n", ""};
    }
    if (call.args[1] == "build-step") {
      {
        std::lock_guard guard(lock);
        most[engine] = std::max(most[engine], ++running[engine]);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::lock_guard guard(lock);
      --running[engine];
    }
    return {};
  };
  tarvo::process::Context context(launcher, {.frame_period = std::chrono::milliseconds(5)});
  using tarvo::process::Said;
  auto task = [&](const std::string &label, bool fails) {
    return tarvo::artifacts::FarmTask{
        label, {"x86_64"}, [label, fails](Engine &engine) {
          engine.context().say(Said::Progress, "building " + label + "\n");
          engine.context().run({"docker", "build-step"});
          if (fails) {
            engine.context().say(Said::Detail, "no compiler\n");
            throw tarvo::process::CalledProcessError(2, {"docker"});
          }
          // A wheel test delivers nothing; pytest's counts stand for it.
          if (label == "four") {
            engine.context().say(Said::Detail, "==== 2 passed, 1 skipped in 0.12s ====\n");
          } else {
            engine.context().say(Said::Delivered, "dist/" + label + ".whl\n");
          }
        }};
  };
  int status = 0;
  auto [out, err] = capture_output([&] {
    status = tarvo::artifacts::run_farm(
        context, endpoints("a,b,gone"),
        {task("one", false), task("two", true), task("three", false), task("four", false)});
  });
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(out.starts_with("Engine gone did not answer (Cannot connect to the Docker daemon at "
                              "unix:///gone.sock): left out\n"
                              "4 targets on 2 engines: a (x86_64, 1 at a time), b (x86_64, 1 at "
                              "a time)\n"))
      << out;
  EXPECT_EQ(most, (std::map<std::string, int>{{"a", 1}, {"b", 1}}));
  // The first two start at once, one on each engine.
  EXPECT_NE(out.find("one: started on a\ntwo: started on b\n"), std::string::npos) << out;
  const auto table =
      std::regex_replace(out.substr(out.find("Target")), std::regex("[0-9]+\\.[0-9] s"), "T");
  EXPECT_TRUE(std::regex_match(table, std::regex("Target  Engine  Result                 Time\n"
                                                 "one     a       dist/one\\.whl           T\n"
                                                 "two     b       status 2: no compiler  T\n"
                                                 "three   [ab]       dist/three\\.whl         T\n"
                                                 "four    [ab]       2 passed, 1 skipped    T\n"
                                                 "\nOutput of two on b:\n"
                                                 "building two\nno compiler\n")))
      << table;
  EXPECT_EQ(err, "Error: 1 of 4 targets failed: two\n");
  // The targets' docker commands reach their engine, their output goes to the target's log.
  for (const auto &call : launcher.calls()) {
    if (call.args[1] == "build-step") {
      EXPECT_EQ(call.options.stdout_mode, tarvo::process::Redirect::File);
      EXPECT_EQ(call.options.env->count("DOCKER_HOST"), 0u);
    }
  }
}

// A farm of a thousand targets with few descriptors to spare, and an engine that takes the
// connection but never answers: the silent engine is left out once its time is up, naming it;
// every target ends with its own result, none for want of a descriptor, since a target that
// waits for a place holds none.
TEST(Farm, AThousandTargetsAndASilentEngine) {
  // A docker client that never ends, for the silent engine's question.
  struct SilentEngine : RecordingLauncher {
    struct Hanging : tarvo::process::Child {
      bool wait_for(std::chrono::nanoseconds) override { return false; }
      tarvo::process::CompletedProcess finish() override {
        ADD_FAILURE() << "waited for an engine that never answers";
        return {};
      }
    };
    std::unique_ptr<tarvo::process::Child>
    start(std::vector<std::string> args, const tarvo::process::ProcessOptions &options) override {
      if (args[1] == "info" && options.env && options.env->at("DOCKER_CONTEXT") == "silent") {
        return std::make_unique<Hanging>();
      }
      return RecordingLauncher::start(std::move(args), options);
    }
  } launcher;
  launcher.answer = [](const std::vector<std::string> &args) {
    return RecordingLauncher::Answer{0, args[1] == "info" ? "x86_64 4\n" : "", ""};
  };
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  rlimit few = before;
  few.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
  tarvo::process::Context context(launcher, {.frame_period = std::chrono::milliseconds(2),
                                             .answer_period = std::chrono::milliseconds(100)});
  std::vector<tarvo::artifacts::FarmTask> tasks;
  for (int i = 0; i < 1000; ++i) {
    const auto label = "target " + std::to_string(i);
    tasks.push_back({label, {"x86_64"}, [i, label](Engine &engine) {
                       engine.context().run({"docker", "build-step", label});
                       if (i % 2 == 1) {
                         engine.context().say(tarvo::process::Said::Detail,
                                              "reason " + std::to_string(i) + "\n");
                         throw tarvo::process::CalledProcessError(1, {"docker"});
                       }
                       engine.context().say(tarvo::process::Said::Delivered,
                                            "dist/w" + std::to_string(i) + ".whl\n");
                     }});
  }
  int status = 0;
  auto [out, err] = capture_output(
      [&] { status = tarvo::artifacts::run_farm(context, endpoints("a,silent"), tasks); });
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &before), 0);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(out.starts_with("Engine silent did not answer (no answer within 0.1 s): left out\n"
                              "1000 targets on 1 engine: a (x86_64, 4 at a time)\n"))
      << out.substr(0, 300);
  EXPECT_EQ(out.find("Errno 24"), std::string::npos);
  for (int i : {0, 1, 998, 999}) {
    const auto row = std::regex(fmt::format("\ntarget {} +a +{} +[0-9.]+ s\n", i,
                                            i % 2 == 1 ? fmt::format("status 1: reason {}", i)
                                                       : fmt::format("dist/w{}\\.whl", i)));
    EXPECT_TRUE(std::regex_search(out, row)) << i;
  }
  EXPECT_EQ(err, "Error: 500 of 1000 targets failed: target 1, target 3, target 5, target 7, "
                 "target 9, target 11, target 13, target 15, target 17 and 491 more\n");
}

} // namespace
