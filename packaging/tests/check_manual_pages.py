#!/usr/bin/env python3
"""The manual pages against the programs. In: MorvantisCapture and Morvantis, and the folder of
the pages' Markdown. Out: one line per disagreement and exit 1, or nothing and exit 0.

Every command that `MorvantisCapture --help` lists must have a "## COMMAND" section under
"# COMMANDS" (and every such section a command); in it, each option that `MorvantisCapture
COMMAND --help` lists must have an entry (a line opening with **--name**), no entry may name an
option the command lacks, and an option with fixed choices must list the same ones (*a*|*b*).
"# OPTIONS" is checked against the top-level options the same way; a command's --help is
described there once. Morvantis takes no options: its page's synopsis must show its usage line.
"""
import re
import subprocess
import sys


def run(*args):
    result = subprocess.run(args, capture_output=True, text=True)
    return result.stdout + result.stderr


def help_blocks(text):
    """Maps each block title of a CLI11 help text ("Options", "Subcommands") to its lines."""
    blocks, title = {}, None
    for line in text.splitlines():
        if line and not line[0].isspace():
            title = line[:-1] if line.endswith(":") else None
            blocks.setdefault(title, [])
        elif title is not None:
            blocks[title].append(line)
    return blocks


def help_options(text):
    """Maps each option's names (a tuple) to its fixed choices (a set, empty when free): CLI11
    writes them as TEXT:{a,b,c}; otherwise a description that opens with "a, b or c" lists them.
    A description too long for the names' column starts on the next line."""
    entries = []
    for line in help_blocks(text).get("Options", []):
        if line.startswith("  -"):
            entries.append(line.split())
        elif entries and line.strip():
            entries[-1] += line.split()
    options = {}
    for fields in entries:
        names = tuple(fields[0].split(","))
        value = fields[1] if len(fields) > 1 and fields[1][:1].isupper() else ""
        braces = re.search(r":\{([^}]*)\}", value)
        listed = re.match(r"([a-z0-9]+(?:, [a-z0-9]+)* or [a-z0-9]+)\b",
                          " ".join(fields[2:])) if value.startswith("TEXT") else None
        if braces:
            options[names] = set(braces.group(1).split(","))
        elif listed:
            options[names] = set(re.split(r", | or ", listed.group(1)))
        else:
            options[names] = set()
    return options


def page_sections(markdown):
    """Maps "# TITLE" and "## TITLE" headings to the text beneath them."""
    sections, heading = {}, None
    for line in markdown.splitlines():
        match = re.match(r"(#{1,2}) (.+)", line)
        if match:
            heading = match.group(0)
            sections[heading] = []
        elif heading is not None:
            sections[heading].append(line)
    return sections


def page_options(lines):
    """Maps the option names of each entry (a line opening with **-) to its listed choices."""
    options = {}
    for line in lines:
        if not line.startswith("**-"):
            continue
        names = tuple(re.findall(r"\*\*(-[^*]+)\*\*", line))
        value = re.sub(r"\*\*-[^*]+\*\*,? ?", "", line).strip()
        choices = re.findall(r"\*([^*|]+)\*", value) if "|" in value else []
        options[names] = set(choices)
    return options


def compare(where, from_help, from_page, problems, skip=()):
    page_by_name = {name: (names, choices) for names, choices in from_page.items() for name in names}
    help_names = {name for names in from_help for name in names}
    for names, choices in from_help.items():
        if set(names) & set(skip):
            continue
        entry = next((page_by_name[name] for name in names if name in page_by_name), None)
        if entry is None:
            problems.append(f"{where}: option {','.join(names)} is in --help but not on the page")
        elif set(entry[0]) != set(names):
            problems.append(f"{where}: option {','.join(names)} is on the page as {', '.join(entry[0])}")
        elif choices != entry[1]:
            problems.append(f"{where}: option {names[-1]} takes {sorted(choices)} but the page lists {sorted(entry[1])}")
    for names in from_page:
        for name in names:
            if name not in help_names:
                problems.append(f"{where}: option {name} is on the page but not in --help")


def main():
    capture, morvantis, pages = sys.argv[1:4]
    problems = []

    sections = page_sections(open(f"{pages}/MorvantisCapture.1.md", encoding="utf-8").read())
    top = run(capture, "--help")
    compare("MorvantisCapture", help_options(top), page_options(sections.get("# OPTIONS", [])), problems)
    commands = [line.split()[0] for line in help_blocks(top).get("Subcommands", []) if line.strip()]
    if not commands:
        problems.append("MorvantisCapture --help lists no commands")
    for command in commands:
        section = sections.get(f"## {command}")
        if section is None:
            problems.append(f"MorvantisCapture {command}: the page has no '## {command}' section")
            continue
        compare(f"MorvantisCapture {command}", help_options(run(capture, command, "--help")),
                page_options(section), problems, skip=("--help",))
    heading_order = list(sections)
    start = heading_order.index("# COMMANDS") + 1 if "# COMMANDS" in heading_order else len(heading_order)
    for heading in heading_order[start:]:
        if not heading.startswith("## "):
            break
        if heading[3:] not in commands:
            problems.append(f"MorvantisCapture: the page describes '{heading[3:]}', which --help does not list")

    usage = run(morvantis).split("\n")[1].split()
    synopsis = " ".join(page_sections(open(f"{pages}/Morvantis.1.md", encoding="utf-8").read()).get("# SYNOPSIS", []))
    for word in usage:
        word = re.sub(r"\(.*\)$", "", word)
        if not re.search(rf"[*]{word}[*]", synopsis):
            problems.append(f"Morvantis: the usage word {word} is not in the page's synopsis")

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
