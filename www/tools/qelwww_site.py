"""Gateway sites: a directory with the CGI program, its qelwww.ini, a cache, templates, a
registry, a copy of an archive and a lighttpd configuration that serves it on loopback.

Used by the end-to-end tests (www/tests/e2e/gateway_site.py) and by the demo
(scripts/demo.sh, which runs this file as a program). Standard library only.
"""
import argparse
import os
import shutil
import socket
import sys
import time

DEMO_SERVER = "DEMO"
# What every browser gets (docs/demo.md, "Viewing documents"): line data as text in the
# page, AFP as a download of its own type (no browser shows AFP and the AFP converters are
# not part of the build), the note and print icons of the hit list, and hit values that
# link to their document with the type's extension.
DEMO_VIEWS = """[default browser]
LineViewing=ascii
MaxHits=300
AfpViewing=native
ViewNotes=1
AddNotes=1
ServerPrint=1
AddExtension=1
NoLinks=0
"""
# The demo's printer: the print script (scripts/demo/qelprt, installed as the archive's
# programs/qelprt) copies each job into <archive>/spool (docs/demo.md, "Server print").
DEMO_PRINTER = "SPOOL"
SERVER_KEY = "SOFTWARE\\Kvr\\Tidewell for WinNT"


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def port_is_free(port):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        try:
            probe.bind(("127.0.0.1", port))
        except OSError:
            return False
    return True


def make_dir(root, name, mode=0o755):
    path = os.path.join(root, name)
    os.makedirs(path, exist_ok=True)
    os.chmod(path, mode)
    return path


def make_layout(root, program):
    """The site's directories (the cache 0700, as the gateway expects) and cgi-bin/qelwww,
    a symlink to the program, so that the program finds the site's qelwww.ini."""
    dirs = {
        "cgi": make_dir(root, "cgi-bin"),
        "cache": make_dir(root, "cache", 0o700),
        "templates": make_dir(root, "templates"),
        "log": make_dir(root, "log"),
        "registry": make_dir(root, "registry"),
        "htdocs": make_dir(root, "htdocs"),
        "upload": make_dir(root, "upload"),
    }
    dirs["program"] = os.path.join(dirs["cgi"], "qelwww")
    if os.path.lexists(dirs["program"]):
        os.remove(dirs["program"])
    os.symlink(os.path.abspath(program), dirs["program"])
    return dirs


def copy_archive(source, target):
    """A private copy of an archive: logons write its tables (password changes)."""
    if os.path.exists(target):
        shutil.rmtree(target)
    shutil.copytree(source, target)
    return target


def server_section(name, archive):
    """The section of a local archive server."""
    return f"[@SRV@_{name}]\nPROTOCOL=1\nDIRECTORY={archive}\n"


def ini_text(cache_dir, template_dir, log_dir, trace=False, configuration="", extra=""):
    lines = ["[configuration]", f"CacheDir={cache_dir}", f"TemplateDir={template_dir}"]
    lines += [line for line in configuration.splitlines() if line.strip()]
    lines += ["[debug]", f"Log={1 if trace else 0}", f"LogDir={log_dir}"]
    return "\n".join(lines) + "\n" + extra


def write_ini(cgi_dir, text):
    with open(os.path.join(cgi_dir, "qelwww.ini"), "w", encoding="latin-1") as ini:
        ini.write(text)


def lighttpd_conf_text(root, port, cgi_dir, log_dir, env, docroot=None, index=None):
    env_text = ", ".join(f'"{k}" => "{v}"' for k, v in env.items())
    index_text = f'index-file.names = ( "{index}" )\n' if index else ""
    return f"""
server.document-root = "{docroot or os.path.join(root, 'htdocs')}"
server.bind = "127.0.0.1"
server.port = {port}
server.errorlog = "{log_dir}/error.log"
server.breakagelog = "{log_dir}/cgi-stderr.log"
server.upload-dirs = ( "{root}/upload" )
server.modules = ( "mod_alias", "mod_cgi", "mod_setenv" )
# Document ids carry the control characters 0x01 and 0x0B, percent-encoded in the query.
server.http-parseopts = ( "url-ctrls-reject" => "disable" )
mimetype.assign = ( ".html" => "text/html; charset=utf-8", ".css" => "text/css" )
{index_text}alias.url = ( "/cgi-bin/" => "{cgi_dir}/" )
$HTTP["url"] =~ "^/cgi-bin/" {{
    cgi.assign = ( "" => "" )
}}
setenv.add-environment = ( {env_text} )
"""


def write_lighttpd_conf(root, text):
    path = os.path.join(root, "lighttpd.conf")
    with open(path, "w") as out:
        out.write(text)
    return path


def wait_for_port(server, port, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if server.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def find_lighttpd():
    for candidate in (shutil.which("lighttpd"), "/usr/sbin/lighttpd", "/usr/local/sbin/lighttpd"):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    return None


# -- the demo ----------------------------------------------------------------------------------


def install_printing(archive, registry_dir, source_dir, server=DEMO_SERVER):
    """The archive's print script and the server's registry keys that name it and the
    demo printer (the local server reads its printers and run settings from there)."""
    programs = make_dir(archive, "programs")
    script = os.path.join(programs, "qelprt")
    shutil.copy(os.path.join(source_dir, "scripts", "demo", "qelprt"), script)
    os.chmod(script, 0o755)
    key = f"{SERVER_KEY}\\@SRV@_{server}"
    with open(os.path.join(registry_dir, "HKLM.ini"), "w", encoding="utf-8") as hive:
        hive.write(f"[{key}\\PRINTERS]\n{DEMO_PRINTER}=P,Spool directory beside the archive\n"
                   f"[{key}\\CFG]\nQEL_SERVER_PRINT_SCRIPT={os.path.abspath(script)}\n")
    os.chmod(os.path.join(registry_dir, "HKLM.ini"), 0o600)


def spooled(spool, count, seconds=20):
    """The complete jobs in the spool directory (the print script writes a job's .args file
    last), as (arguments, job bytes) in job-name order: once count of them are there or
    the time is up. With count 0 the whole time is waited, so that a late job is seen."""
    deadline = time.time() + seconds
    while True:
        names = sorted(n for n in os.listdir(spool) if n.endswith(".args")) if os.path.isdir(spool) else []
        if (count > 0 and len(names) >= count) or time.time() > deadline:
            break
        time.sleep(0.1)
    jobs = []
    for name in names:
        with open(os.path.join(spool, name), encoding="utf-8") as f:
            args = f.read().split("\n")[:-1]
        with open(os.path.join(spool, name[:-len(".args")]), "rb") as f:
            jobs.append((args, f.read()))
    return jobs


def make_demo_site(root, build_dir, source_dir, port, archive_dir=None):
    """The demo: an archive (the sample archive unless archive_dir names another) under
    server DEMO, a static logon page that posts to the gateway, the page template. Returns
    (lighttpd.conf path, URL of the logon page)."""
    program = os.path.join(build_dir, "bin", "qelwww")
    if not os.access(program, os.X_OK):
        raise RuntimeError(f"{program} is missing; build first")
    os.makedirs(root, exist_ok=True)
    dirs = make_layout(root, program)
    archive = copy_archive(archive_dir or os.path.join(source_dir, "testdata", "archive"),
                           os.path.join(root, "archive"))
    demo = os.path.join(source_dir, "scripts", "demo")
    shutil.copy(os.path.join(demo, "templates", "page.html"), os.path.join(dirs["templates"], "page.html"))
    for name in ("index.html", "demo.css"):
        shutil.copy(os.path.join(demo, name), os.path.join(dirs["htdocs"], name))
    # The hit list's icons, at the image directory the gateway names by default ("/").
    for name in os.listdir(os.path.join(demo, "icons")):
        shutil.copy(os.path.join(demo, "icons", name), os.path.join(dirs["htdocs"], name))
    write_ini(dirs["cgi"], ini_text(dirs["cache"], dirs["templates"], dirs["log"], configuration="Codepage=1208",
                                    extra=DEMO_VIEWS + server_section(DEMO_SERVER, archive)))
    install_printing(archive, dirs["registry"], source_dir)
    # Job files wait for the print script in a directory of the site's own.
    env = {"QEL_REGISTRY_DIR": dirs["registry"], "QEL_PRINT_PATH": make_dir(root, "print", 0o700),
           "PATH": os.environ.get("PATH", "/usr/bin:/bin")}
    conf = write_lighttpd_conf(root, lighttpd_conf_text(root, port, dirs["cgi"], dirs["log"], env,
                                                        index="index.html"))
    return conf, f"http://127.0.0.1:{port}/index.html"


def main(argv):
    parser = argparse.ArgumentParser(description="Serve the demo gateway with lighttpd on 127.0.0.1.")
    parser.add_argument("--build", required=True, help="the build directory (with bin/qelwww)")
    parser.add_argument("--source", default=os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
    parser.add_argument("--site", help="where the demo site goes (default: <build>/demo-site)")
    parser.add_argument("--port", type=int, default=8080)
    parser.add_argument("--archive", help="the archive to serve a copy of (default: testdata/archive)")
    parser.add_argument("--no-serve", action="store_true", help="make the site, print the URL, do not serve")
    args = parser.parse_args(argv)

    if not 0 < args.port < 65536:
        parser.error("the port must be 1..65535")
    lighttpd = find_lighttpd()
    if lighttpd is None:
        print("lighttpd is not installed (scripts/install-deps.sh installs it)", file=sys.stderr)
        return 1
    build = os.path.abspath(args.build)
    root = os.path.abspath(args.site or os.path.join(build, "demo-site"))
    archive = os.path.abspath(args.archive) if args.archive else None
    conf, url = make_demo_site(root, build, os.path.abspath(args.source), args.port, archive)
    if args.no_serve:
        print(url)
        return 0
    if not port_is_free(args.port):
        print(f"port {args.port} on 127.0.0.1 is in use; choose another with --port", file=sys.stderr)
        return 1
    print(f"Demo site: {root}")
    print(f"Log on at {url}  (users ALICE / wonder1 and BOB / builder2); Ctrl-C stops the server.", flush=True)
    # lighttpd takes this process's place in the foreground.
    os.execv(lighttpd, [lighttpd, "-D", "-f", conf])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
