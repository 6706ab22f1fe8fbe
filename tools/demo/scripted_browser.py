#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Orvane
# SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
"""A browser for the headless demo: it loads the development sign-in page it is given, approves
it as a named user, and hands the redirect it is sent to to the application registered for the
redirect's URL scheme, as desktop browsers do: the x-scheme-handler default of the freedesktop
MIME database names a desktop entry, whose Exec line is run with the URL.

    scripted_browser.py URL            (the name signed in is $ORVANE_DEMO_USER, or "Demo User")
"""
import html.parser
import os
import shlex
import subprocess
import sys
import urllib.error
import urllib.parse
import urllib.request


class FormFields(html.parser.HTMLParser):
    """The named inputs of the page's sign-in form."""

    def __init__(self):
        super().__init__()
        self.action = None
        self.fields = {}

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "form" and self.action is None:
            self.action = attrs.get("action")
        if tag == "input" and attrs.get("name"):
            self.fields[attrs["name"]] = attrs.get("value", "")


class NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args, **kwargs):
        return None


def log(message):
    print("scripted-browser: " + message, file=sys.stderr, flush=True)


def desktop_entry_dirs():
    data_home = os.environ.get("XDG_DATA_HOME") or os.path.expanduser("~/.local/share")
    data_dirs = os.environ.get("XDG_DATA_DIRS") or "/usr/local/share:/usr/share"
    return [os.path.join(d, "applications") for d in [data_home] + data_dirs.split(":")]


def handler_command(url):
    """The command line of the application registered for the URL's scheme."""
    scheme = url.split(":", 1)[0]
    entry = subprocess.run(["xdg-mime", "query", "default", "x-scheme-handler/" + scheme],
                           capture_output=True, text=True).stdout.strip()
    if not entry:
        raise RuntimeError("no application is registered for " + scheme + ": links")
    for directory in desktop_entry_dirs():
        path = os.path.join(directory, entry)
        if os.path.exists(path):
            with open(path, encoding="utf-8") as desktop:
                for line in desktop:
                    if line.startswith("Exec="):
                        words = shlex.split(line[len("Exec="):].strip())
                        return [url if w in ("%u", "%U") else w for w in words
                                if not (w.startswith("%") and w not in ("%u", "%U"))]
    raise RuntimeError("the desktop entry " + entry + " was not found")


def main():
    if len(sys.argv) != 2:
        log("usage: scripted_browser.py URL")
        return 2
    url = sys.argv[1]
    with urllib.request.urlopen(url, timeout=30) as page:
        form = FormFields()
        form.feed(page.read().decode("utf-8"))
    if not form.action:
        log("the page has no sign-in form")
        return 1
    form.fields["name"] = os.environ.get("ORVANE_DEMO_USER", "Demo User")
    form.fields["action"] = "approve"
    target = urllib.parse.urljoin(url, form.action)
    body = urllib.parse.urlencode(form.fields).encode()
    opener = urllib.request.build_opener(NoRedirect)
    try:
        opener.open(urllib.request.Request(target, data=body), timeout=30)
        log("the sign-in page did not redirect")
        return 1
    except urllib.error.HTTPError as reply:
        if reply.code not in (301, 302, 303, 307, 308):
            log("the sign-in page answered %d" % reply.code)
            return 1
        location = reply.headers["Location"]
    try:
        command = handler_command(location)
    except RuntimeError as problem:
        log(str(problem))
        return 1
    log("approved; handing the redirect to " + os.path.basename(command[0]))
    # Detached, as a browser does: the application may take its time.
    subprocess.Popen(command, start_new_session=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
