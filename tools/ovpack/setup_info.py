"""A setup information file read the way the installer's profile functions
read it: section and key names without regard to case, a key's value after
its first "=", spaces around both trimmed, ";" lines left out.

The installer silently takes a misspelt key for a missing one, so a typo
changes what a package does without any error; ovpack names it instead.
"""

# The keys the installer reads in a file's own section.
FILE_KEYS = ("file-win32-x86", "clsid", "FileVersion", "RegisterServer", "DestDir", "hook")


class SetupInfoError(Exception):
    """A setup information file that would install other than it reads."""


def read_sections(path):
    """{section name in lower case: (name as written, [(key, value)])}; the
    first section of a name holds the keys of all its repetitions, as the
    profile functions read them."""
    with open(path, encoding="latin-1") as f:
        text = f.read()
    sections = {}
    current = None
    for line in text.splitlines():
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("["):
            name = line[1:line.index("]")] if "]" in line else line[1:]
            name = name.strip()
            current = sections.setdefault(name.lower(), (name, []))[1]
        elif current is not None:
            key, _, value = line.partition("=")
            current.append((key.strip(), value.strip()))
    return sections


def listed_names(sections):
    """The names [Add.Code] lists, in order."""
    return [key for key, _ in sections.get("add.code", ("", []))[1] if key]


def check_file_keys(path, sections):
    """Refuses a file's section with a key the installer does not read,
    naming the file, the section and the key."""
    known = {key.lower() for key in FILE_KEYS}
    for name in listed_names(sections):
        written, keys = sections.get(name.lower(), (name, []))
        for key, _ in keys:
            if key.lower() not in known:
                raise SetupInfoError(
                    '%s, section [%s]: unknown key "%s"; a file\'s section takes %s'
                    % (path, written, key, ", ".join(FILE_KEYS)))
