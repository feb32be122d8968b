// The informational texts: the usage and help texts and the build line on
// standard output, and the run report of a verbose run on standard error.
// Every line is kept as the format it is printed with, so "%%" stands for
// one percent sign and "%c" for the character given beside the line.
#include <span>
#include <string_view>

#include "driver/build_stamp.h"
#include "driver/driver.h"
#include "driver/echo_file.h"
#include "driver/info_texts.h"
#include "driver/output.h"
#include "driver/text_format.h"
#include "input/input_stack.h"
#include "macros/macro_table.h"

namespace kup {

namespace {

/// Shown after the version in the usage banner.
constexpr std::string_view kCreditText = "by the kup authors";
constexpr std::string_view kReleaseDate = "April 17 2018";


/// One line of a fixed text: its format, and the character that fills
/// every "%c" of it (none when the line has no "%c").
struct FormatLine {
  std::string_view format;
  char mark = '\0';
};

constexpr std::string_view kUsageBanner = "\nSimple ZIDiv expander, Version %s, %s, %s\n";

constexpr FormatLine kUsageLines[] = {
    {"\nUsage:   KUP [option..] [pathname..]\n"},
    {"\n <option>:\n\n"},
    {"  -b[uilt]            : Built information on stdout.\n"},
    {"  -u[sage]            : Usage on stdout.\n"},
    {"  -h[elp]             : Help on stdout.\n"},
    {"  -s[tdin]            : Use KUP as filter accepting standard input (e.g. pipe).\n"},
    {"  -e[cho] 'pathname'  : Echo macros directives from stdin into file.  (*)\n"},
    {"  -d[efine] nam 'val' : Equivalent to directive #define nam val.      (*)\n"},
    {"  -i[nt] nam 'expr'   : Equivalent to directive #int nam expr.        (*)\n"},
    {"  -r[eal] nam 'expr'  : Equivalent to directive #real nam expr.       (*)\n"},
    {"  -f[ix] nam 'expr'   : Equivalent to directive #fix nam expr.        (*)\n"},
    {"  -p[refix] nam       : Prefix Mode,  declare prefix of macros used outside directives.\n"},
    {"  -v[erbose]          : Verbose Mode, detailed trace to stderr.\n"},
    {"  -c[omment]          : Comment Mode, send KUP comments to stderr.\n"},
    {"  -q[uiet]            : Quiet Mode,   remove warning messages.\n"},
    {"  -l[ine]             : Line Mode,    keep output and input lines numbering equal.\n\n"},
    {"        (*) On command line, it is recommended to enclose value or expression between\n"},
    {"            SINGLE quotes. They are mandatory if value or expression has more than one\n"},
    {"            word, contains weird symbols...\n"},
    {"\n <pathname>:\n\n"},
    {"  Pathname of ASCII file(s) to be expanded sequentially (last in is first processed).\n"},
    {"  Standard input is always processed after the process of these files is completed.\n\n"},
};

/// The language reference up to the predefined macros.
constexpr FormatLine kDirectiveLines[] = {
    {"\nOperations recognized by the ZIDiv expander during arithmetic evaluation:\n\n"},
    {"  +   -   *   /   %%   ^   >   <   >=   <=   ==   !=   !   ||   &&\n"},
    {"  (sin())  (cos())  (tan())  (asin())  (acos())  (atan())\n"},
    {"  (exp())  (log())  (log10()) (sinh())  (cosh())  (tanh())\n"},
    {"  (abs())  (floor())  (ceil())  (round())  (sign())\n\n"},
    {"\nInside processed files, directives recognized by the ZIDiv expander:\n\n"},
    {"  #define nam [val]    : Macro definition.\n"},
    {"  #default nam [val]   : Macro definition, if macro was not yet defined.\n"},
    {"  #undef nam [nam..]   : Undefine the macro[s].\n"},
    {"  #int nam [expr]      : [Macro definition with] arithmetic evaluation, casting to int.\n"},
    {"  #real[dig] nam [expr]: [Macro definition with] arithmetic evaluation, casting to real (scientific).\n"},
    {"  #fix[dig] nam [expr] : [Macro definition with] arithmetic evaluation, casting to real (fixed precision).\n"},
    {"  #ask nam [val]       : Macro definition by [question 'val' and] answer from user, if not yet defined.\n"},
    {"  #msg [val]           : Send message 'val' to stderr.\n"},
    {"  #cat nam [val..]     : Concatenate 'val..' into first macro.\n"},
    {"  #freeze nam [nam..]  : Protect content of macros from processing.\n"},
    {"  #melt nam [nam..]    : Unprotect content of macros from processing.\n"},
    {"  #if expr             : Execute if block when after arithmetic evaluation, 'expr' is not 0.\n"},
    {"  #ifdef nam [val]     : Execute ifdef block when 'nam' is defined [equal to 'val'].\n"},
    {"  #ifndef nam [val]    : Execute ifndef block when 'nam' is undefined [or not equal to 'val'].\n"},
    {"  #else [comment]      : Else block. ['comment' ignored.]\n"},
    {"  #endif [comment]     : End of conditional block. ['comment' ignored.]\n"},
    {"  #include val         : File to be included (pathname between single quotes).\n"},
    {"  #insert val          : Data file to copy without processing (pathname between single quotes).\n"},
    {"  #exit [val]          : Exit from current file. [Send message 'val' on stderr.]\n"},
    {"  #quit [val]          : Normal KUP termination. [Send message 'val' on stderr.]\n"},
    {"  #abort [val]         : Abnormal termination. [Send message 'val' on stderr.]\n"},
    {"  ## [val]             : KUP single line comment. [In comment mode, 'val' is traced on stderr.]\n"},
    {"  #* [comment]         : KUP single line comment. ['comment' ignored.]\n"},
    {"\n  - ZIDiv expander advanced features:\n\n"},
    {"  #list nam            : Declare existing macro as a list and split it into elements.\n"},
    {"  [%c..]nam             : Indirection using symbol '%c' ahead macro name 'nam'.\n", '@'},
    {"\n  - Debug oriented macro directives (normally processed):\n\n"},
    {"  #verbose [val]       : Toggle verbose mode On|Off [or set/reset if value is (not) 0].\n"},
    {"  #macro [nam..]       : List all macros on stderr [or macros by name 'nam..'].\n"},
    {"  #tag [val]           : Define file tag name 'val' of currently processed file.\n"},
    {"\n  - Debug oriented macro directives (unconditionally processed):\n\n"},
    {"  #skip [expr]         : Toggle Skip Mode On|Off [set/reset if 'expr' is (not) 0].\n"},
    {"  #stop [val]          : KUP normal termination. [Send message 'val' on stderr.]\n"},
    {"  #status [val]        : Current status of KUP on stderr. ['val' is a title.]\n"},
    {"\n\nPredefined macros:\n\n"},
};

/// The one reference line that shows the version text.
constexpr std::string_view kVersionMacroLine = "  $V                   : Current version of KUP (%s).\n";

/// The rest of the reference: the other predefined macros, quotes and
/// identifiers.
constexpr FormatLine kClosingLines[] = {
    {"  $D                   : Current time and date at the beginning of the process.\n"},
    {"  $F                   : Current file name.\n"},
    {"  $T                   : Current file tag name (default: file name).\n"},
    {"  $N                   : Empty string.\n"},
    {"\n\nQuotes in KUP:\n\n"},
    {" %ctext%c   (    option) : Field delimiters, quotes are removed by UNIX.\n", '\''},
    {" %ctext%c   ( directive) : Determine field, quotes are removed in output.\n", '\''},
    {" %ctext%c   (      data) : No effect. Quotes remain.\n", '\''},
    {" %ctext%c   (dir & data) : Text unprocessed by KUP, quotes are removed at output.\n", '`'},
    {" %ctext%c   (dir & data) : No effect. Quotes remain.\n", '"'},
    {"\n\nValid macro identifier in KUP:\n\n"},
    {" First character       : A..Z  a..z  $  or _\n"},
    {" Other characters      : A..Z  a..z  0..9  [  ]  $  or  _\n"},
    {"\n"},
};

constexpr std::string_view kBuildLine = "\nSimple ZIDiv expander, VERSION %s, BINARY BUILT %s %s\n";

/// One option line of the run report and when it is shown.
struct OptionLine {
  bool (*shown)();
  std::string_view format;  ///< "%s" takes the echo file name
};

constexpr OptionLine kOptionLines[] = {
    {[] { return modes.line; }, "Option -l[ine]   :  Macros and comments will be replaced by blank lines.\n"},
    {[] { return !modes.warning; }, "Option -q[uiet]  :  No warning messages will be issued for this run.\n"},
    {[] { return modes.prefix; }, "Option -p[refix] :  Prefix '$' and '@' are automatically added by KUP.\n"},
    {[] { return modes.echo; }, "Option -e[cho]   :  Standard Input will be echoed into file '%s'.\n"},
    {[] { return modes.comment; }, "Option -c[omment]:  KUP comments are processed and output to stderr.\n"},
    {[] { return true; }, "Option -v[erbose]:  Verbose mode is enforced, trace on stderr.\n"},
};

/// The first two prefixes are the system's own, "$" and "@".
constexpr int kSystemPrefixes = 2;

/// Writes the lines of a fixed text to standard output.
void write_lines(std::span<const FormatLine> lines) {
  for (const FormatLine& row : lines)
    out_write(row.mark == '\0' ? format(row.format) : format(row.format, row.mark, row.mark));
}

void report_options() {
  for (const OptionLine& row : kOptionLines)
    if (row.shown()) err_write(format(row.format, echo.name));
}

/// The queued inputs, numbered from the top level, which is read first.
void report_inputs() {
  err_write("\nInput files to be sequentially processed:\n");
  for (int level = inputs.file_level; level >= 0; --level)
    err_write(format("[%3d]:   %s\n", inputs.file_level - level + 1, inputs.levels[level].file_name));
}

void report_prefixes() {
  if (!modes.prefix) {
    err_write("\nNo prefix defined, all macros are global.\n");
    return;
  }
  err_write("\nPrefixes currently defined:\n");
  for (int i = 0; i < prefix_count(); ++i) {
    std::string_view row = i < kSystemPrefixes ? "[%3d]:  (  system)  %s\n" : "[%3d]:  (    user)  %s\n";
    err_write(format(row, i + 1, prefix_at(i)));
  }
}

void report_macros() {
  err_write("\nMacros currently defined:\n");
  list_macro("$ALL$");
}

/// Where reading will begin: the top level, before its first line.
void report_first_input() {
  if (inputs.file_level < 0) return;
  err_write("\n");
  trace_processing();
}

}  // namespace

/// The usage text on standard output.
void print_usage() {
  out_write(format(kUsageBanner, kVersionText, kCreditText, kReleaseDate));
  write_lines(kUsageLines);
}

/// The usage text followed by the reference of the directive language.
void print_help() {
  print_usage();
  write_lines(kDirectiveLines);
  out_write(format(kVersionMacroLine, kVersionText));
  write_lines(kClosingLines);
}

/// The version and the date and time of the build on standard output.
void print_build() { out_write(format(kBuildLine, kVersionText, build_date(), build_time())); }

/// What a verbose run starts from, on standard error: the options in force,
/// the queued inputs, the prefixes and the macros.
void print_run_report() {
  err_write("\n");
  report_options();
  report_inputs();
  report_prefixes();
  report_macros();
  report_first_input();
}

}  // namespace kup
