# Bindings of the image's top level. $top_level is the object on which a game's
# top-level "def tick args" defines its methods.
$top_level = self
$perf_counter_outputs_push_count = 0
$perf_counter_primitive_is_array = 0

XTERM_COLOR = {
  black: "\e[30m",
  red: "\e[31m",
  green: "\e[32m",
  yellow: "\e[33m",
  blue: "\e[34m",
  magenta: "\e[35m",
  cyan: "\e[36m",
  white: "\e[37m",
  bright_black: "\e[30;1m",
  bright_red: "\e[31;1m",
  bright_green: "\e[32;1m",
  bright_yellow: "\e[33;1m",
  bright_blue: "\e[34;1m",
  bright_magenta: "\e[35;1m",
  bright_cyan: "\e[36;1m",
  bright_white: "\e[37;1m",
  reset: "\e[0m"
}
