// The init command's questions: each value from its option, or asked for on a terminal, checked
// as it is given; the project's files are then written by project/scaffold.
#include "tarvo/cli/commands.hpp"
#include "tarvo/console/console.hpp"
#include "tarvo/error.hpp"
#include "tarvo/process/interrupts.hpp"
#include "tarvo/project/scaffold.hpp"

#include <array>
#include <fmt/format.h>
#include <vector>

namespace tarvo::cli {

std::optional<std::string> get_arg(const std::optional<std::string> &value,
                                   const std::string &prompt, Check check) {
  if (value && !value->empty()) {
    if (auto refused = check ? check(*value) : std::nullopt) {
      throw Error(ErrorKind::ValueError, *refused);
    }
    return value;
  }
  if (!console::is_terminal(console::Stream::In)) {
    return std::nullopt;
  }
  for (;;) {
    auto line = console::read_line(prompt, process::interrupt_fd(), process::check_interrupted);
    auto refused = check ? check(line) : std::nullopt;
    if (!refused) {
      return line;
    }
    console::out("{}\n", *refused);
  }
}

int cmd_init(const Args &args, const Grammar &grammar, const process::Context &) {
  // Each value is checked as it is given, so that a refused one costs no other answer: the
  // name from --name before any prompt.
  struct Question {
    std::optional<std::string> value;
    const char *prompt;
    Check check;
    const char *option;
  };
  const std::array<Question, 5> questions = {{
      {args.name, "Project name: ", project::check_project_name, "--name"},
      {args.description, "Description: ", nullptr, "--description"},
      {args.author_name, "Author name: ", nullptr, "--author-name"},
      {args.author_email, "Author email: ", nullptr, "--author-email"},
      {args.license, "License spdx identifier: ", project::check_license, "--license"},
  }};
  std::array<std::string, 5> values;
  // Without a terminal nothing is asked: every value missing is named at once, so that one
  // more try completes the command.
  std::vector<std::string> missing;
  for (std::size_t i = 0; i < questions.size(); ++i) {
    auto value = get_arg(questions[i].value, questions[i].prompt, questions[i].check);
    if (!value) {
      missing.push_back(questions[i].option);
      continue;
    }
    values[i] = *value;
  }
  if (!missing.empty()) {
    console::out("{}", usage(grammar));
    std::string options = missing.front();
    for (std::size_t i = 1; i < missing.size(); ++i) {
      options += (i + 1 == missing.size() ? " and " : ", ") + missing[i];
    }
    console::report_error(fmt::format(
        "init asks for missing values only on a terminal: give {} (each not empty)", options));
    return 1;
  }
  const auto &[name, description, author_name, author_email, license] = values;

  project::scaffold({name, description, author_name, author_email, license});
  return 0;
}

} // namespace tarvo::cli
