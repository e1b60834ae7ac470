// tarvo publish with the real twine against a real package index (pypiserver) on 127.0.0.1,
// started for each test in an environment made from the local wheels and stopped by its id.
#include "real_python.hpp"

#include <csignal>
#include <dirent.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char **environ;

using namespace tarvo::testing;
namespace fs = std::filesystem;

namespace {

const std::string PASSWORD = "pw-7f3a";
const std::string TOKEN = "pypi-tok-51c9";

// Whether `text` is on the command line of any process now running.
bool on_any_command_line(const std::string &text, bool &twine_seen) {
  bool found = false;
  for (const auto &entry : fs::directory_iterator("/proc")) {
    const auto name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    std::string line;
    try {
      line = read_file(entry.path() / "cmdline");
    } catch (const std::exception &) {
      continue; // gone meanwhile
    }
    twine_seen = twine_seen || (line.find("twine") != std::string::npos &&
                                line.find("upload") != std::string::npos);
    found = found || line.find(text) != std::string::npos;
  }
  return found;
}

// Whether the process has ended (it stays a zombie until the harness waits for it).
bool ended(pid_t pid) {
  std::string stat;
  try {
    stat = read_file(fs::path("/proc") / std::to_string(pid) / "stat");
  } catch (const std::exception &) {
    return true;
  }
  return stat.find(") Z") != std::string::npos;
}

// The loopback interface is up. A fresh network namespace (unshare --net, as an offline run of
// the suite has) starts with it down; it is brought up there, where it reaches nothing outside.
bool loopback_up() {
  auto up = [] {
    return run({"ip", "-o", "link", "show", "lo"}).out.find(",UP") != std::string::npos;
  };
  return up() || (run({"ip", "link", "set", "lo", "up"}).status == 0 && up());
}

} // namespace

class Publish : public RealPython {
protected:
  // The server's environment, made once for the suite.
  static void SetUpTestSuite() {
    server_dir = new TempDir;
    auto env = offline_pip(offline_wheels());
    auto made = run({"python3", "-m", "venv", (server_dir->path / "env").string()}, {.env = env});
    ASSERT_EQ(made.status, 0) << made.err;
    auto installed = run(
        {(server_dir->path / "env/bin/pip").string(), "install", "--quiet", "pypiserver[passlib]"},
        {.env = env});
    ASSERT_EQ(installed.status, 0) << installed.err;
    // The uploader, and the user that an API token is the password of.
    auto passwords =
        run({(server_dir->path / "env/bin/python").string(), "-c",
             "import sys; from passlib.apache import HtpasswdFile\n"
             "f = HtpasswdFile(sys.argv[1], new=True, default_scheme='apr_md5_crypt')\n"
             "f.set_password('uploader', sys.argv[2]); f.set_password('__token__', sys.argv[3])\n"
             "f.save()",
             (server_dir->path / "passwords").string(), PASSWORD, TOKEN});
    ASSERT_EQ(passwords.status, 0) << passwords.err;
  }
  static void TearDownTestSuite() { delete server_dir; }

  void SetUp() override {
    if (!loopback_up()) {
      GTEST_SKIP() << "127.0.0.1 cannot be reached: the loopback interface is down";
    }
    RealPython::SetUp();
    fs::create_directories(packages);
    auto files = setuptools_project("demo");
    auto &pyproject = files["pyproject.toml"];
    pyproject.insert(pyproject.find("requires-python"), "readme = \"README.rst\"\n");
    files["README.rst"] = "Demo\n====\n\nDoubles numbers.\n";
    for (const auto &[name, content] : files) {
      write_file(tmp.path / name, content);
    }
    // Away from the user's ~/.pypirc and keyring.
    options.env["HOME"] = tmp.path.string();
    options.env["PYTHON_KEYRING_BACKEND"] = "keyring.backends.null.Keyring";
    options.env["TWINE_USERNAME"] = "uploader";
    options.env["TWINE_PASSWORD"] = PASSWORD;
  }
  void TearDown() override { stop_index(); }

  // Starts the index on the packages folder; with `uploads`, it stops after that many files.
  void start_index(std::optional<int> uploads = std::nullopt) {
    const auto port_file = tmp.path / "port";
    fs::remove(port_file);
    std::vector<std::string> argv = {(server_dir->path / "env/bin/python").string(),
                                     (source_dir() / "tests/python/index_server.py").string(),
                                     packages.string(), (server_dir->path / "passwords").string(),
                                     port_file.string()};
    if (uploads) {
      argv.push_back(std::to_string(*uploads));
    }
    std::vector<char *> args;
    for (auto &arg : argv) {
      args.push_back(arg.data());
    }
    args.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&server, args[0], nullptr, nullptr, args.data(), environ), 0);
    while (!fs::exists(port_file)) {
      int status = 0;
      ASSERT_EQ(waitpid(server, &status, WNOHANG), 0) << "the index ended before it listened";
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    url = "http://127.0.0.1:" + read_file(port_file) + "/";
  }
  void stop_index() {
    if (server > 0) {
      kill(server, SIGTERM);
      waitpid(server, nullptr, 0);
      server = -1;
    }
  }

  // The sdist (tarvo build --sdist, which sets up .venv) and the pure wheel, built as the
  // wheel build's container builds it, here in .venv.
  void build_release() {
    auto sdist = run_tarvo({"build", "--sdist"}, options);
    ASSERT_EQ(sdist.status, 0) << sdist.out << sdist.err;
    auto wheel = run({(tmp.path / ".venv/bin/python").string(), "-m", "build", "--wheel"}, options);
    ASSERT_EQ(wheel.status, 0) << wheel.out << wheel.err;
  }

  Output publish(std::vector<std::string> words, const RunOptions &run_options) {
    words.insert(words.begin(), {"--no-sync", "publish", "--repository", url});
    return run_tarvo(words, run_options);
  }
  Output publish(const std::vector<std::string> &words = {}) { return publish(words, options); }

  std::string uploading(const std::string &file) {
    return fmt::format("Uploading {0}...\n{0}: uploaded\n", file);
  }

  static TempDir *server_dir;
  fs::path packages = tmp.path / "index";
  pid_t server = -1;
  std::string url;
};

TempDir *Publish::server_dir = nullptr;

TEST_F(Publish, UploadsTheReleaseWhichPipThenInstalls) {
  start_index();
  build_release();
  fs::copy_file(tmp.path / "dist/demo-1.0-py3-none-any.whl",
                tmp.path / "dist/demo-0.9-py3-none-any.whl");

  // A wrong password: one line, and nothing on the index.
  auto wrong = options;
  wrong.env["TWINE_PASSWORD"] = "wrong";
  auto refused = run_tarvo({"publish", "--repository", url}, wrong);
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_EQ(refused.err, "Error: dist/demo-1.0.tar.gz: the index refused the credentials (HTTP 403 "
                         "Forbidden): give them in TWINE_USERNAME and TWINE_PASSWORD, "
                         "TARVO_PUBLISH_TOKEN, ~/.pypirc or the keyring; nothing uploaded\n");
  EXPECT_EQ(names_in(packages), std::vector<std::string>{});

  // An API token, which never shows on a command line while the files go up.
  auto with_token = options;
  with_token.env["TWINE_USERNAME"] = std::nullopt;
  with_token.env["TWINE_PASSWORD"] = std::nullopt;
  with_token.env["TARVO_PUBLISH_TOKEN"] = TOKEN;
  bool token_shown = false;
  bool twine_seen = false;
  with_token.meanwhile = [&](pid_t tarvo, int) {
    while (!ended(tarvo)) {
      token_shown = on_any_command_line(TOKEN, twine_seen) || token_shown;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  auto published = publish({}, with_token);
  ASSERT_EQ(published.status, 0) << published.out << published.err;
  EXPECT_EQ(published.out, "Publishing demo 1.0: 1 sdist and 1 wheel\n"
                           "Leaving 1 other file in dist/ alone (other versions)\n"
                           "Checking with twine...\n" +
                               uploading("dist/demo-1.0.tar.gz") +
                               uploading("dist/demo-1.0-py3-none-any.whl") +
                               "Published demo 1.0 to " + url + ": 2 files uploaded\n");
  EXPECT_EQ(published.err, "");
  EXPECT_TRUE(twine_seen);
  EXPECT_FALSE(token_shown);
  EXPECT_EQ(names_in(packages),
            (std::vector<std::string>{"demo-1.0-py3-none-any.whl", "demo-1.0.tar.gz"}));

  // pip finds that version on the index.
  const auto client = tmp.path / "client/bin";
  ASSERT_EQ(run({"python3", "-m", "venv", client.parent_path().string()}).status, 0);
  auto from_index = options;
  from_index.env["PIP_NO_INDEX"] = std::nullopt;
  from_index.env["PIP_FIND_LINKS"] = std::nullopt;
  auto installed = run({(client / "pip").string(), "install", "--no-cache-dir", "--index-url",
                        url + "simple/", "demo==1.0"},
                       from_index);
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  auto imported = run({(client / "python").string(), "-c", "import demo; print(demo.double(21))"},
                      {.cwd = client});
  EXPECT_EQ(imported.out, "42\n") << imported.err;

  // The index keeps what it has: a second run fails on the first file, and --skip-existing
  // leaves both where they are.
  auto again = publish();
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "Error: dist/demo-1.0.tar.gz: already on the index (HTTP 400 Bad Request), "
                       "which never takes a file of the same name again; nothing uploaded; tarvo "
                       "publish --skip-existing uploads the rest\n");
  auto skipped = publish({"--skip-existing"});
  EXPECT_EQ(skipped.status, 0) << skipped.err;
  EXPECT_TRUE(skipped.out.ends_with("dist/demo-1.0-py3-none-any.whl: already on the index, left as "
                                    "it is\nPublished demo 1.0 to " +
                                    url + ": 0 files uploaded, 2 already there\n"))
      << skipped.out;
}

TEST_F(Publish, ServerGoneAfterTheFirstFileThenSkipExistingCompletesTheSet) {
  build_release();
  start_index(1);
  auto cut = run_tarvo({"publish", "--repository", url}, options);
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.out.find(uploading("dist/demo-1.0.tar.gz")), std::string::npos) << cut.out;
  EXPECT_EQ(cut.err, "Error: dist/demo-1.0-py3-none-any.whl: the index at " + url +
                         " cannot be reached ([Errno 111] Connection refused); 1 of 2 files on "
                         "the index; tarvo publish --skip-existing uploads the rest\n");
  EXPECT_EQ(names_in(packages), std::vector<std::string>{"demo-1.0.tar.gz"});

  stop_index();
  start_index();
  auto rest = publish({"--skip-existing"});
  ASSERT_EQ(rest.status, 0) << rest.out << rest.err;
  EXPECT_NE(rest.out.find("dist/demo-1.0.tar.gz: already on the index, left as it is\n" +
                          uploading("dist/demo-1.0-py3-none-any.whl") + "Published demo 1.0 to " +
                          url + ": 1 file uploaded, 1 already there\n"),
            std::string::npos)
      << rest.out;
  EXPECT_EQ(names_in(packages),
            (std::vector<std::string>{"demo-1.0-py3-none-any.whl", "demo-1.0.tar.gz"}));
}

// A README that does not render and a wheel of a platform tag that indexes refuse: each said on
// a line of its own, before the first file goes.
TEST_F(Publish, ProblemsStopTheUploadBeforeTheFirstFile) {
  write_file(tmp.path / "README.rst", "Demo\n==\n\n:no-such-role:`x`\n");
  build_release();
  fs::rename(tmp.path / "dist/demo-1.0-py3-none-any.whl",
             tmp.path / "dist/demo-1.0-cp311-cp311-linux_x86_64.whl");
  start_index();
  auto stopped = run_tarvo({"publish", "--repository", url}, options);
  EXPECT_EQ(stopped.status, 1);
  const std::string unrendered =
      ": `long_description` has syntax errors in markup and would not be rendered on PyPI. "
      "line 4: Error: Unknown interpreted text role \"no-such-role\".\n";
  EXPECT_EQ(stopped.err, "Error: dist/demo-1.0-cp311-cp311-linux_x86_64.whl: platform tag "
                         "linux_x86_64, which package indexes refuse: tarvo build --native-wheel "
                         "makes a manylinux wheel\n"
                         "Error: dist/demo-1.0-cp311-cp311-linux_x86_64.whl" +
                             unrendered + "Error: dist/demo-1.0.tar.gz" + unrendered +
                             "Error: nothing uploaded: 3 problems found\n");
  EXPECT_EQ(stopped.out.find("Uploading"), std::string::npos) << stopped.out;
  EXPECT_EQ(names_in(packages), std::vector<std::string>{});
}
