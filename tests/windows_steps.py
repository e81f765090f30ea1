#!/usr/bin/env python3
"""The Windows steps of README.md, followed as written in an empty Wine
prefix: they are the steps of the archive's own README.txt, the archive
unpacks to the folder they name, and their commands run there.

    WINEPREFIX=... tests/windows_steps.py README.md kalp-VERSION-windows-x86_64.zip BUILD_README_TXT

Run by .ci/windows-archive."""
import os, re, subprocess, sys, time, zipfile

wine = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'cmake', 'wine-run')


def steps(text, heading):
    """The numbered steps under `heading`, as one text with blanks joined."""
    part = text[text.index(heading):]
    lines = part.split('\n')
    out, inside = [], False
    for line in lines[1:]:
        if re.match(r'\d+\. ', line):
            inside = True
        elif inside and not line.startswith('   '):
            break
        if inside:
            out.append(line.strip())
    return ' '.join(out)


def main():
    readme, archive, usersreadme = sys.argv[1:4]
    told = steps(open(readme, encoding='utf-8').read(), '## On Windows')
    own = steps(open(usersreadme, encoding='utf-8').read(), 'Getting started')
    assert told == own, 'README.md and the archive\'s README.txt give other steps:\n%s\n%s' % (told, own)
    drive = re.search(r'Unpack the archive to `([A-Z]):\\`', told).group(1)
    program = re.search(r'the program is `([^`]+)`', told).group(1)
    run = re.search(r'Run `([^`]+)`', told).group(1)
    folder = re.search(r'In `([^`]+)` that is a complete run', told).group(1)
    serve = re.search(r'`([^`]+ serve --open)`', told).group(1)
    root = os.path.join(os.environ['WINEPREFIX'], 'drive_%s' % drive.lower())
    # Explorer's Extract All to C:\.
    zipfile.ZipFile(archive).extractall(root)

    def here(path):  # C:\kalp\kalp.exe on the Linux side
        return os.path.join(root, *path[3:].split('\\'))

    assert os.path.isfile(here(program)), program + ' is not where the steps say'
    # A command prompt in the folder; the command as written.
    done = subprocess.run([wine, 'cmd', '/c', 'cd /d %s && %s' % (folder, run)], capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=120)
    assert done.returncode == 0, done.stdout.decode(errors='replace')
    assert os.path.isfile(os.path.join(here(folder), 'resgfps01')), 'no results in ' + folder
    print('%s in %s: exit 0, resgfps01 written' % (run, folder))
    # The editor: its address and the folder it edits; no browser here.
    editor = subprocess.Popen([wine, 'cmd', '/c', 'cd /d %s && %s' % (folder, serve)], stdout=subprocess.PIPE,
                              stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL, text=True)
    try:
        address, said = editor.stdout.readline().strip(), editor.stdout.readline().strip()
        assert re.fullmatch(r'http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{48}', address), address
        assert said.startswith('The editor of the files in') and said.endswith('Ctrl-C ends it.'), said
        print('%s: %s' % (serve, said))
    finally:
        editor.kill()
        subprocess.run([os.path.join(os.path.dirname(os.environ.get('WINE', '/usr/lib/wine/wine64')), 'wineserver'),
                        '-k'], stdin=subprocess.DEVNULL, capture_output=True)


if __name__ == '__main__':
    main()
