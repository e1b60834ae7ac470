#include "tarvo/artifacts/step_hints.hpp"

#include "tarvo/container/script.hpp"

namespace tarvo::artifacts {

namespace {

// Standard error goes to the terminal as it comes and into a file of the step's own folder;
// standard output passes by on descriptor 3. The status survives the pipe in the same folder.
// pip's words are looked for with blanks and line ends squeezed to single blanks, since a
// build front end may indent pip's lines and wrap them.
constexpr std::string_view RUN_STEP = R"sh(tarvo_step() {
  tarvo_step_dir=$(mktemp -d)
  { { "$@" || echo "$?" >"$tarvo_step_dir/status"; } 2>&1 >&3 | tee "$tarvo_step_dir/stderr" >&2; } 3>&1
  if [ ! -e "$tarvo_step_dir/status" ]; then
    rm -rf "$tarvo_step_dir"
    return 0
  fi
  tarvo_said=$(tr -s ' \t\n' '   ' <"$tarvo_step_dir/stderr")
  case $tarvo_said in
    *"(from versions: none)"*"No matching distribution found for "*)
      tarvo_missing=${tarvo_said#*No matching distribution found for }
      printf '%s\n' "Hint: no wheel of ${tarvo_missing%% *} is at hand (no package index here?): download it on the host into the project, e.g. into .wheels/ (a folder a flat layout does not take for a package), and add --setup 'export PIP_FIND_LINKS=\"\$PIP_FIND_LINKS /src/.wheels\"'" >&2 ;;
  esac
)sh";

} // namespace

std::string step_hints(const std::optional<std::string> &missing_pytest) {
  std::string text(RUN_STEP);
  if (missing_pytest) {
    text += "  if grep -qF 'No module named pytest' \"$tarvo_step_dir/stderr\"; then\n"
            "    printf '%s\\n' " +
            container::shell_word(*missing_pytest) + " >&2\n  fi\n";
  }
  return text + "  tarvo_said=$(cat \"$tarvo_step_dir/status\")\n  rm -rf \"$tarvo_step_dir\"\n"
                "  return \"$tarvo_said\"\n}";
}

} // namespace tarvo::artifacts
