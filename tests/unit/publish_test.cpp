#include "tarvo/artifacts/publish.hpp"

#include "harness.hpp"

#include <gtest/gtest.h>

namespace {

using namespace tarvo::artifacts;
using namespace tarvo::testing;
namespace fs = std::filesystem;

// What twine 7 writes, as it wrote it against pypiserver (rich's log lines, wrapped at 80
// columns), for the stand-in to replay.
const std::string UPLOADED =
    "Uploading distributions to http://127.0.0.1:8080/\n"
    "INFO     username: uploader                                         \n"
    "INFO     password: <hidden>                                         \n"
    "Uploading demo-1.0.tar.gz\n"
    "INFO     Response from http://127.0.0.1:8080/:                      \n"
    "         200 OK                                                     \n";
const std::string FORBIDDEN =
    "Uploading distributions to http://127.0.0.1:8080/\n"
    "Uploading demo-1.0.tar.gz\n"
    "ERROR    HTTPError: 403 Forbidden from http://127.0.0.1:8080/                  \n"
    "         Forbidden                                                              \n";
const std::string EXISTS =
    "Uploading distributions to http://127.0.0.1:8080/\n"
    "INFO     Response from http://127.0.0.1:8080/:                                 \n"
    "         400 Bad Request                                                        \n"
    "INFO                                                                            \n"
    "                     <pre>Package &#039;demo-1.0.tar.gz&#039; already exists!  \n"
    "           You may start server with `--overwrite` option.</pre>                \n"
    "ERROR    HTTPError: 400 Bad Request from http://127.0.0.1:8080/                \n"
    "         Bad Request                                                            \n";
const std::string REFUSED_CONNECTION =
    "Uploading distributions to http://127.0.0.1:8080/\n"
    "WARNING  Retrying (Retry(total=9, connect=4, read=None, redirect=None,          \n"
    "         status=None)) after connection broken by                               \n"
    "         'NewConnectionError(\"HTTPConnection(host='127.0.0.1', port=8080): Failed  \n"
    "         to establish a new connection: [Errno 111] Connection refused\")': /    \n"
    "Traceback (most recent call last):\n"
    "  File \"twine/__main__.py\", line 33, in main\n"
    "requests.exceptions.ConnectionError: HTTPConnectionPool(host='127.0.0.1', port=8080): Max "
    "retries exceeded with url: / (Caused by NewConnectionError(\"HTTPConnection(host='127.0.0.1',"
    " port=8080): Failed to establish a new connection: [Errno 111] Connection refused\"))\n";
const std::string NO_SECTION =
    "ERROR    InvalidConfiguration: Missing 'nosuch' section from ~/.pypirc.         \n"
    "         More info: https://packaging.python.org/specifications/pypirc/         \n";
const std::string CHECK_FAILED =
    "Checking dist/demo-1.0-py3-none-any.whl: FAILED due to warnings\n"
    "WARNING  `long_description_content_type` missing. defaulting to `text/x-rst`.   \n"
    "Checking dist/demo-1.0.tar.gz: PASSED\n";

const std::string CHECK = "twine --no-color check --strict -- dist/demo-1.0.tar.gz "
                          "dist/demo-1.0-py3-none-any.whl | uploader, secret";
std::string upload(const std::string &file, const std::string &credentials) {
  return "twine --no-color upload --verbose --non-interactive --disable-progress-bar "
         "--repository-url=http://127.0.0.1:8080/ -- " +
         file + " | " + credentials;
}
const std::string SDIST = "dist/demo-1.0.tar.gz";
const std::string WHEEL = "dist/demo-1.0-py3-none-any.whl";
const std::string AS_UPLOADER = "uploader, secret";

struct PublishCase {
  std::string name;
  std::map<std::string, std::pair<int, std::string>> answers; // twine's word or file: answer
  PublishOptions options;
  std::vector<std::string> calls; // twine's words, and the credentials it saw
  std::string out;                // after "Checking with twine...\n"
  std::string err;
  int status;
};

void PrintTo(const PublishCase &c, std::ostream *out) { *out << c.name; }

// publish() on a stand-in twine (the stub interpreter runs tools/twine for "-um twine"), which
// records its words and the credentials in its environment, and answers each file as twine did.
class PublishFixture : public ::testing::Test {
protected:
  PublishFixture() {
    fs::create_directories(tools_);
    write_script(tools_ / "twine", R"sh(for last; do :; done
[ "$2" = check ] && answer=check || answer=$(basename "$last")
printf 'twine %s | %s, %s\n' "$*" "${TWINE_USERNAME:-no user}" "${TWINE_PASSWORD:-no password}" \
  >>"$STUB_LOG"
[ -z "$TARVO_PUBLISH_TOKEN" ] || echo "TARVO_PUBLISH_TOKEN reached twine" >>"$STUB_LOG"
[ -f "answers/$answer" ] || exit 0
cat "answers/$answer"
exit "$(cat "answers/$answer.status")")sh");
    fs::create_directories(dir_.path / "answers");
    capture_output([&] { venv_.emplace(context_, ".venv"); });
    take_lines(log_);
  }

  tarvo::process::Context context_;
  TempDir dir_;
  InDir in_{dir_.path};
  fs::path tools_ = dir_.path / "tools";
  fs::path log_ = dir_.path / "calls.log";
  ScopedEnv path_{"PATH", stubs_dir().string() + ":/usr/bin:/bin"};
  ScopedEnv stub_log_{"STUB_LOG", log_.string()};
  ScopedEnv stub_tools_{"STUB_TOOLS", tools_.string()};
  ScopedEnv user_{"TWINE_USERNAME", "uploader"};
  ScopedEnv password_{"TWINE_PASSWORD", "secret"};
  ScopedEnv token_{"TARVO_PUBLISH_TOKEN", std::nullopt};
  std::optional<tarvo::venv::VirtualEnvironment> venv_;
};

// The stand-in's lines: twine's words, and the credentials it saw.
std::vector<std::string> twine_calls(const fs::path &log) {
  auto lines = take_lines(log);
  std::erase_if(lines, [](const std::string &line) { return !line.starts_with("twine "); });
  return lines;
}

class PublishTest : public PublishFixture, public ::testing::WithParamInterface<PublishCase> {};

TEST_P(PublishTest, OneLinePerFileAndTheFirstFailureStops) {
  const auto &c = GetParam();
  for (const auto &[answer, reply] : c.answers) {
    write_file(dir_.path / "answers" / answer, reply.second);
    write_file(dir_.path / "answers" / (answer + ".status"), std::to_string(reply.first));
  }
  Release release{"demo", "1.0", false, {SDIST, WHEEL}, 1, {}, {}, 0};
  int status = -1;
  auto [out, err] = capture_output(
      [&] { status = publish(*venv_, release, destination("http://127.0.0.1:8080/"), c.options); });
  EXPECT_EQ(twine_calls(log_), c.calls);
  EXPECT_EQ(out, "Checking with twine...\n" + c.out);
  EXPECT_EQ(err, c.err);
  EXPECT_EQ(status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, PublishTest,
    ::testing::Values(
        PublishCase{"BothUploaded",
                    {{"demo-1.0.tar.gz", {0, UPLOADED}}},
                    {},
                    {CHECK, upload(SDIST, AS_UPLOADER), upload(WHEEL, AS_UPLOADER)},
                    "Uploading dist/demo-1.0.tar.gz...\ndist/demo-1.0.tar.gz: uploaded\n"
                    "Uploading dist/demo-1.0-py3-none-any.whl...\n"
                    "dist/demo-1.0-py3-none-any.whl: uploaded\n"
                    "Published demo 1.0 to http://127.0.0.1:8080/: 2 files uploaded\n",
                    "",
                    0},
        PublishCase{"RefusedCredentialsStopAtTheFirstFile",
                    {{"demo-1.0.tar.gz", {1, FORBIDDEN}}},
                    {},
                    {CHECK, upload(SDIST, AS_UPLOADER)},
                    "Uploading dist/demo-1.0.tar.gz...\n",
                    "Error: dist/demo-1.0.tar.gz: the index refused the credentials (HTTP 403 "
                    "Forbidden): give them in TWINE_USERNAME and TWINE_PASSWORD, "
                    "TARVO_PUBLISH_TOKEN, ~/.pypirc or the keyring; nothing uploaded\n",
                    1},
        PublishCase{"ExistingFileFails",
                    {{"demo-1.0.tar.gz", {1, EXISTS}}},
                    {},
                    {CHECK, upload(SDIST, AS_UPLOADER)},
                    "Uploading dist/demo-1.0.tar.gz...\n",
                    "Error: dist/demo-1.0.tar.gz: already on the index (HTTP 400 Bad Request), "
                    "which never takes a file of the same name again; nothing uploaded; tarvo "
                    "publish --skip-existing uploads the rest\n",
                    1},
        PublishCase{"ExistingFileSkipped",
                    {{"demo-1.0.tar.gz", {1, EXISTS}}},
                    {.skip_existing = true},
                    {CHECK, upload(SDIST, AS_UPLOADER), upload(WHEEL, AS_UPLOADER)},
                    "Uploading dist/demo-1.0.tar.gz...\n"
                    "dist/demo-1.0.tar.gz: already on the index, left as it is\n"
                    "Uploading dist/demo-1.0-py3-none-any.whl...\n"
                    "dist/demo-1.0-py3-none-any.whl: uploaded\n"
                    "Published demo 1.0 to http://127.0.0.1:8080/: 1 file uploaded, 1 already "
                    "there\n",
                    "",
                    0},
        PublishCase{"IndexGoneAfterTheFirstFile",
                    {{"demo-1.0-py3-none-any.whl", {1, REFUSED_CONNECTION}}},
                    {},
                    {CHECK, upload(SDIST, AS_UPLOADER), upload(WHEEL, AS_UPLOADER)},
                    "Uploading dist/demo-1.0.tar.gz...\ndist/demo-1.0.tar.gz: uploaded\n"
                    "Uploading dist/demo-1.0-py3-none-any.whl...\n",
                    "Error: dist/demo-1.0-py3-none-any.whl: the index at http://127.0.0.1:8080/ "
                    "cannot be reached ([Errno 111] Connection refused); 1 of 2 files on the "
                    "index; tarvo publish --skip-existing uploads the rest\n",
                    1},
        // A failure of no known kind: twine's own words, then the line.
        PublishCase{"OtherFailureShowsTwinesWords",
                    {{"demo-1.0.tar.gz", {1, NO_SECTION}}},
                    {},
                    {CHECK, upload(SDIST, AS_UPLOADER)},
                    "Uploading dist/demo-1.0.tar.gz...\n" + NO_SECTION + "\n",
                    "Error: dist/demo-1.0.tar.gz: upload failed: InvalidConfiguration: Missing "
                    "'nosuch' section from ~/.pypirc. More info: "
                    "https://packaging.python.org/specifications/pypirc/; nothing uploaded\n",
                    1},
        PublishCase{"CheckProblemsUploadNothing",
                    {{"check", {1, CHECK_FAILED}}},
                    {},
                    {CHECK},
                    "",
                    "Error: dist/demo-1.0-py3-none-any.whl: `long_description_content_type` "
                    "missing. defaulting to `text/x-rst`.\n"
                    "Error: nothing uploaded: 1 problem found\n",
                    1},
        PublishCase{"DryRunStopsAfterTheChecks",
                    {},
                    {.dry_run = true},
                    {CHECK},
                    "Ready: dist/demo-1.0.tar.gz\nReady: dist/demo-1.0-py3-none-any.whl\n"
                    "Checks passed; --dry-run: nothing uploaded\n",
                    "",
                    0}),
    [](const auto &info) { return info.param.name; });

// TARVO_PUBLISH_TOKEN is the password of __token__ in twine's environment, and goes no further.
TEST_F(PublishFixture, TokenIsThePasswordOfTokenUser) {
  ScopedEnv token("TARVO_PUBLISH_TOKEN", "pypi-abc");
  Release release{"demo", "1.0", false, {SDIST}, 1, {}, {}, 0};
  auto [out, err] =
      capture_output([&] { EXPECT_EQ(publish(*venv_, release, destination("testpypi"), {}), 0); });
  EXPECT_EQ(twine_calls(log_),
            (std::vector<std::string>{
                "twine --no-color check --strict -- dist/demo-1.0.tar.gz | __token__, pypi-abc",
                "twine --no-color upload --verbose --non-interactive --disable-progress-bar "
                "--repository=testpypi -- dist/demo-1.0.tar.gz | __token__, pypi-abc"}));
  EXPECT_EQ(err, "");
}

TEST(Destination, NameOrUrlAndNeverCredentials) {
  for (const auto &[given, seen] : std::vector<std::pair<std::optional<std::string>, std::string>>{
           {std::nullopt, "PyPI"},
           {"testpypi", "--repository=testpypi testpypi"},
           {"https://test.pypi.org/legacy/",
            "--repository-url=https://test.pypi.org/legacy/ https://test.pypi.org/legacy/"},
           {"http://host/path@x", "--repository-url=http://host/path@x http://host/path@x"},
           {"https://user:pw@host/", "ValueError: The repository URL holds credentials, which "
                                     "would be on twine's command line: give them in "
                                     "TWINE_USERNAME and TWINE_PASSWORD (or TARVO_PUBLISH_TOKEN) "
                                     "instead"},
           {"", "ValueError: --repository is empty: give a repository's name in ~/.pypirc or an "
                "index's upload URL"},
       }) {
    std::string text;
    try {
      const auto where = destination(given);
      for (const auto &option : where.options) {
        text += option + " ";
      }
      text += where.shown;
    } catch (const tarvo::Error &e) {
      text = error_line(e);
    }
    EXPECT_EQ(text, seen);
  }
}

} // namespace
