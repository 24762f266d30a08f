// The manual page and the bash completion of tarn-cli, written from the parser's own tables: a command or
// an option added to the table is documented and completed by the next build, and nothing else can be.
#include "Cli.h"
#include "common/Version.h"

#include <QRegularExpression>
#include <QSet>

namespace tarn::cli {

namespace {

QString fromTable(const char* text) {
    return QString::fromUtf8(text);
}

// Text for roff: a backslash is printed by \e, a minus (every option's dashes) by \-, and a line that
// would start with a control character gets the zero-width \& in front.
QString roff(const QString& text) {
    QString r;
    for (QChar c : text) {
        if (c == QLatin1Char('\\'))
            r += QStringLiteral("\\e");
        else if (c == QLatin1Char('-'))
            r += QStringLiteral("\\-");
        else
            r += c;
    }
    if (r.startsWith(QLatin1Char('.')) || r.startsWith(QLatin1Char('\''))) r.prepend(QStringLiteral("\\&"));
    return r;
}

// A command's usage line is its syntax, then, after a run of blanks, what it does (some say no more
// than the syntax). Line breaks in the table only align the help's columns.
struct Usage {
    QString syntax;
    QString purpose;
};

Usage splitUsage(const char* usage) {
    const QString flat = fromTable(usage).replace(QLatin1Char('\n'), QLatin1Char(' '));
    static const QRegularExpression gap(QStringLiteral("\\s{3,}"));
    const QRegularExpressionMatch m = gap.match(flat);
    if (!m.hasMatch()) return {flat.simplified(), {}};
    return {flat.left(m.capturedStart()).simplified(), flat.mid(m.capturedEnd()).simplified()};
}

void writeOptionItems(QTextStream& out, const std::vector<OptionSpec>& options) {
    for (const OptionSpec& o : options) {
        out << ".TP\n\\fB" << roff(QString::fromLatin1(o.name)) << "\\fR";
        if (o.valueName) out << " \\fI" << roff(QString::fromLatin1(o.valueName)) << "\\fR";
        out << "\n" << roff(fromTable(o.help)) << "\n";
    }
}

// Values that name a file or a folder get the file names of the line completed.
bool namesAFile(const char* valueName) {
    static const QSet<QString> kFileValues = {QStringLiteral("FILE"), QStringLiteral("TXT"),
                                              QStringLiteral("XLSX"), QStringLiteral("PATH")};
    return kFileValues.contains(QString::fromLatin1(valueName));
}

bool namesAFolder(const char* valueName) {
    return QString::fromLatin1(valueName) == QLatin1String("DIR");
}

QStringList optionNames(const std::vector<OptionSpec>& options, bool (*keep)(const OptionSpec&)) {
    QStringList names;
    for (const OptionSpec& o : options)
        if (keep(o)) names.append(QString::fromLatin1(o.name));
    return names;
}

} // namespace

void writeManPage(QTextStream& out) {
    const QString version = QString::fromLatin1(kProgramVersion);
    out << ".\\\" Written by \"tarn-cli --man\" from the command table; do not edit.\n"
        << ".TH TARN\\-CLI 1 \"\" \"Tarn " << version
        << "\" \"User Commands\"\n"
        // Option names are not hyphenated, and long syntax lines are not spread over the width.
        << ".nh\n"
        << ".ad l\n"
        << ".SH NAME\n"
        << "tarn\\-cli \\- the gas-metering operations of Tarn without windows\n"
        << ".SH SYNOPSIS\n"
        << ".B tarn\\-cli\n"
        << "[\\fIglobal options\\fR] \\fICOMMAND\\fR [\\fIWORDS\\fR] [\\fIoptions\\fR]\n"
        << ".SH DESCRIPTION\n"
        << "\\fBtarn\\-cli\\fR reads gas volume correctors' archives and parameters over a serial line, "
           "stores them in the database of metering points of an installation, builds reports and polls "
           "groups of points unattended: what \\fBTarn_B\\fR does in its windows, for scripts, servers "
           "and tests.\n"
        << "Every command takes \\fB\\-\\-json\\fR for an answer in JSON. "
           "An option a command does not know, an option without its value or a word too many is a usage "
           "error, and the command then does nothing.\n"
        << ".SH GLOBAL OPTIONS\n"
        << "They come before the command word; the switches among them may also follow it.\n";
    writeOptionItems(out, globalOptionTable());
    out << ".SH COMMANDS\n";
    for (const CommandEntry& c : commandTable()) {
        const Usage usage = splitUsage(c.usage);
        out << ".SS " << roff(QString::fromLatin1(c.name)) << "\n"
            << ".PP\n"
            << "\\fBtarn\\-cli\\fR [\\fIglobal options\\fR] " << roff(usage.syntax) << "\n";
        if (!usage.purpose.isEmpty()) out << ".PP\n" << roff(usage.purpose) << "\n";
        writeOptionItems(out, c.options);
    }
    out << ".SH ENVIRONMENT\n"
        << ".TP\n\\fBTARN_HOME\\fR\n"
        << "The installation's folder when \\fB\\-\\-home\\fR is not given. Without either, a program "
           "installed system-wide uses \\fI$XDG_DATA_HOME/tarn\\fR (\\fI~/.local/share/tarn\\fR); one "
           "run from its own folder uses that folder.\n"
        << ".SH EXIT STATUS\n"
        << ".TP\n\\fB0\\fR\nDone; a poll: every point polled normally.\n"
        << ".TP\n\\fB1\\fR\nNo link to the device, or a poll in which some point was not polled normally.\n"
        << ".TP\n\\fB2\\fR\nA usage error, or an installation that could not be laid out.\n"
        << ".TP\n\\fB3\\fR\nRefused by the corrector or by the program's checks.\n"
        << ".TP\n\\fB130\\fR\nStopped by SIGINT or SIGTERM, the point in hand ended in order.\n"
        << ".SH FILES\n"
        << ".TP\n\\fI/lib/systemd/system/tarn\\-poll.service\\fR\n"
           "Duty polling as a system service (\\fBpoll \\-\\-schedule \\-\\-duty\\fR as the user "
           "\\fBtarn\\fR on \\fI/var/lib/tarn\\fR), installed disabled.\n"
        << ".SH SEE ALSO\n"
        << "\\fBTarn_B\\fR(1), \\fBPortScan\\fR(1), \\fBcorrector\\-sim\\fR(1)\n";
    out.flush();
}

void writeBashCompletion(QTextStream& out) {
    const std::vector<OptionSpec> globals = globalOptionTable();
    QStringList commands;
    for (const CommandEntry& c : commandTable())
        commands.append(QString::fromLatin1(c.name));
    const auto takesValue = [](const OptionSpec& o) { return o.valueName != nullptr; };
    const auto takesFile = [](const OptionSpec& o) { return o.valueName && namesAFile(o.valueName); };
    const auto takesFolder = [](const OptionSpec& o) { return o.valueName && namesAFolder(o.valueName); };

    out << "# bash completion for tarn-cli, written by \"tarn-cli --completion bash\" from its command "
           "table.\n"
        << "# The commands, their verbs and options; the file or folder names an option's value asks for.\n"
        << "_tarn_cli()\n{\n"
        << "    local cur=${COMP_WORDS[COMP_CWORD]}\n"
        << "    local prev=\n"
        << "    (( COMP_CWORD > 0 )) && prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        << "    local global_valued=\"" << optionNames(globals, takesValue).join(QLatin1Char(' ')) << "\"\n"
        << "    local global_all=\""
        << optionNames(globals, [](const OptionSpec&) { return true; }).join(QLatin1Char(' '))
        << "\"\n"
        // After the command word the parser takes --json of the global switches, and --help as the
        // command's own.
        << "    local after_command=\"--json --help\"\n"
        << "    local commands=\"" << commands.join(QLatin1Char(' ')) << "\"\n"
        << "    # The command word: the first word that is neither an option nor a global option's value.\n"
        << "    local command= verb= i w\n"
        << "    for (( i = 1; i < COMP_CWORD; i++ )); do\n"
        << "        w=${COMP_WORDS[i]}\n"
        << "        if [[ \" $global_valued \" == *\" $w \"* ]]; then (( i++ )); continue; fi\n"
        << "        [[ $w == -* ]] && continue\n"
        << "        command=$w\n"
        << "        break\n"
        << "    done\n"
        << "    if [[ -z $command ]]; then\n"
        << "        case \" " << optionNames(globals, takesFile).join(QLatin1Char(' ')) << " \" in\n"
        << "            *\" $prev \"*) [[ -n $prev ]] && { COMPREPLY=( $(compgen -f -- \"$cur\") ); return; "
           "} ;;\n"
        << "        esac\n"
        << "        case \" " << optionNames(globals, takesFolder).join(QLatin1Char(' ')) << " \" in\n"
        << "            *\" $prev \"*) [[ -n $prev ]] && { COMPREPLY=( $(compgen -d -- \"$cur\") ); return; "
           "} ;;\n"
        << "        esac\n"
        << "        [[ -n $prev && \" $global_valued \" == *\" $prev \"* ]] && { COMPREPLY=(); return; }\n"
        << "        if [[ $cur == -* ]]; then\n"
        << "            COMPREPLY=( $(compgen -W \"$global_all\" -- \"$cur\") )\n"
        << "        else\n"
        << "            COMPREPLY=( $(compgen -W \"$commands\" -- \"$cur\") )\n"
        << "        fi\n"
        << "        return\n"
        << "    fi\n"
        << "    local options= valued= files= folders= verbs=\n"
        << "    case $command in\n";
    for (const CommandEntry& c : commandTable()) {
        QStringList verbs;
        for (const VerbSpec& v : c.verbs)
            verbs.append(QString::fromLatin1(v.verb));
        out << "        " << QString::fromLatin1(c.name) << ")\n"
            << "            options=\""
            << optionNames(c.options, [](const OptionSpec&) { return true; }).join(QLatin1Char(' ')) << "\"\n"
            << "            valued=\"" << optionNames(c.options, takesValue).join(QLatin1Char(' ')) << "\"\n"
            << "            files=\"" << optionNames(c.options, takesFile).join(QLatin1Char(' ')) << "\"\n"
            << "            folders=\"" << optionNames(c.options, takesFolder).join(QLatin1Char(' '))
            << "\"\n"
            << "            verbs=\"" << verbs.join(QLatin1Char(' ')) << "\" ;;\n";
    }
    out << "        *) return ;;\n"
        << "    esac\n"
        << "    # The verb: the first word after the command word that is no option and no option's value.\n"
        << "    for (( i++; i < COMP_CWORD; i++ )); do\n"
        << "        w=${COMP_WORDS[i]}\n"
        << "        if [[ \" $valued \" == *\" $w \"* ]]; then (( i++ )); continue; fi\n"
        << "        [[ $w == -* ]] && continue\n"
        << "        verb=$w\n"
        << "        break\n"
        << "    done\n"
        << "    if [[ -n $prev && \" $files \" == *\" $prev \"* ]]; then\n"
        << "        COMPREPLY=( $(compgen -f -- \"$cur\") ); return\n"
        << "    fi\n"
        << "    if [[ -n $prev && \" $folders \" == *\" $prev \"* ]]; then\n"
        << "        COMPREPLY=( $(compgen -d -- \"$cur\") ); return\n"
        << "    fi\n"
        << "    if [[ -n $prev && \" $valued \" == *\" $prev \"* ]]; then COMPREPLY=(); return; fi\n"
        << "    if [[ $cur == -* ]]; then\n"
        << "        COMPREPLY=( $(compgen -W \"$options $after_command\" -- \"$cur\") )\n"
        << "    elif [[ -z $verb && -n $verbs ]]; then\n"
        << "        COMPREPLY=( $(compgen -W \"$verbs\" -- \"$cur\") )\n"
        << "    else\n"
        << "        COMPREPLY=( $(compgen -f -- \"$cur\") )\n"
        << "    fi\n"
        << "}\n"
        << "complete -F _tarn_cli tarn-cli\n";
    out.flush();
}

} // namespace tarn::cli
