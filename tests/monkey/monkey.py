#!/usr/bin/python3
"""GUI monkey: random clicks, keys and texts on the real Pollwright windows under a
private Xvfb, the program sandboxed as user nobody, against the test slave that now
and then misbehaves or goes away. Fails on a crash, an unexpected exit, a sanitizer
report, a hang, a main-window close that leaves the program running, or a change
outside the scratch home. Run it through monkey.sh."""
import argparse, collections, ctypes, json, os, random, select, shutil, signal, subprocess, sys, tempfile, time
from ctypes import c_char_p, c_int, c_long, c_ulong, c_void_p
from xml.sax.saxutils import escape

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MAIN, NOBODY = 'Quarvel - Pollwright v1.9', 65534
NON_MODAL = {MAIN, 'Report Logging', 'pollwright'}  # Qt names popups after the program
# Private mount namespace: the work folder stays writable, every other mount goes
# read-only; then the program runs as nobody from its own folder.
SANDBOX = r'''work=$1; shift
mount --bind "$work" "$work" || exit 97
while read -r _ _ _ _ mp opts _; do
  case $mp in /proc|/proc/*|/sys|/sys/*|"$work") continue ;; esac
  case ,$opts, in *,ro,*) continue ;; esac
  mount -o remount,bind,ro "$mp" || exit 97
done </proc/self/mountinfo
cd "$work/.cwd" || exit 97
exec setpriv --reuid=65534 --regid=65534 --clear-groups env -i "$@"'''
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), 'actions.json'), encoding='utf-8') as f:
    _table = json.load(f)  # texts to type, file names, keys, and the actions per window title
TEXTS, FILES, KEYS, ACTIONS = (_table[k] for k in ('texts', 'files', 'keys', 'actions'))
Win = collections.namedtuple('Win', 'id title x y w h')


class XClient(ctypes.Structure):
    _fields_ = [('type', c_int), ('serial', c_ulong), ('send_event', c_int), ('display', c_void_p),
                ('window', c_ulong), ('message_type', c_ulong), ('format', c_int), ('l', c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [('type', c_int), ('xclient', XClient), ('pad', c_long * 24)]


class Display:
    """What a window manager sends: WM_DELETE_WINDOW, and _NET_WM_PING with its answer."""
    def __init__(self, name):
        x = self.x = ctypes.CDLL('libX11.so.6')
        handler = ctypes.CFUNCTYPE(c_int, c_void_p, c_void_p)
        ev, d = ctypes.POINTER(XEvent), [c_void_p]
        for f, res, args in (('XOpenDisplay', c_void_p, [c_char_p]), ('XDefaultRootWindow', c_ulong, d),
                             ('XInternAtom', c_ulong, d + [c_char_p, c_int]), ('XNextEvent', c_int, d + [ev]),
                             ('XSelectInput', c_int, d + [c_ulong, c_long]), ('XFlush', c_int, d),
                             ('XSendEvent', c_int, d + [c_ulong, c_int, c_long, ev]), ('XPending', c_int, d),
                             ('XSetErrorHandler', c_void_p, [handler])):
            getattr(x, f).restype, getattr(x, f).argtypes = res, args
        self.ignore = handler(lambda d, e: 0)  # a window gone meanwhile is no reason to stop
        x.XSetErrorHandler(self.ignore)
        self.d = x.XOpenDisplay(name.encode()) or sys.exit(f'error: cannot open the X display {name}')
        self.protocols, self.delete, self.ping_atom = (
            x.XInternAtom(self.d, a, 0) for a in (b'WM_PROTOCOLS', b'WM_DELETE_WINDOW', b'_NET_WM_PING'))
        # Qt answers a ping on the root with StructureNotify|SubstructureRedirect.
        x.XSelectInput(self.d, x.XDefaultRootWindow(self.d), (1 << 17) | (1 << 19))
        self.stamp = 1000

    def send(self, win, atom, stamp=0):
        ev = XEvent()
        c = ev.xclient
        c.type, c.window, c.message_type, c.format = 33, win, self.protocols, 32
        c.l[0], c.l[1], c.l[2] = atom, stamp, win
        self.x.XSendEvent(self.d, win, 0, 0, ctypes.byref(ev))
        self.x.XFlush(self.d)

    def ping(self, win, timeout):
        self.stamp += 1
        self.send(win, self.ping_atom, self.stamp)
        end, ev = time.monotonic() + timeout, XEvent()
        while time.monotonic() < end:
            while self.x.XPending(self.d):
                self.x.XNextEvent(self.d, ctypes.byref(ev))
                c = ev.xclient
                if ev.type == 33 and c.message_type == self.protocols and c.l[:2] == [self.ping_atom, self.stamp]:
                    return True
            time.sleep(0.02)
        return False


class Fail(Exception):
    pass


class Monkey:
    def __init__(self, a):
        self.a, self.rng, self.srng = a, random.Random(a.seed), random.Random(f'slave {a.seed}')
        self.last = collections.deque(maxlen=30)
        self.n = self.starts = self.faults = self.slaves = 0
        self.proc = self.slave = self.xvfb = self.work = self.log = None
        self.port, self.period, self.chaos, self.slave_back = 0, -1, False, 0.0
        self.finishing = self.failed = self.comms_seen = False
        self.t0 = time.monotonic()

    def copy_when_stable(self, src):
        """Copies a build output, waiting while it is missing or being relinked."""
        dst = os.path.join(self.out, os.path.basename(src))
        for _ in range(120):
            try:
                before = os.stat(src)
                time.sleep(0.5)
                if before.st_size and os.stat(src).st_mtime_ns == before.st_mtime_ns:
                    shutil.copy(src, dst)
                    if os.stat(src).st_mtime_ns == before.st_mtime_ns and os.stat(dst).st_size == before.st_size:
                        return dst
            except OSError:
                time.sleep(0.5)
        sys.exit(f'error: {src} is missing or keeps changing (build it first)')

    def setup(self):
        w = self.work = tempfile.mkdtemp(prefix='pollwright-monkey.', dir='/var/tmp')
        # Hidden names keep the program's own folders out of the file browser's tree.
        self.home, self.out, self.san, self.cwd, self.run = (os.path.join(w, d) for d in
                                                             ('home', '.out', '.san', '.cwd', '.run'))
        for d in (self.out, self.san, self.cwd, self.run):
            os.mkdir(d)
        self.log = open(os.path.join(self.out, 'actions.log'), 'w')
        self.note(f'monkey: seed {self.a.seed}, {self.a.seconds} s, chaos share {self.a.chaos_share}, work folder {w}')
        self.bin = self.copy_when_stable(os.path.join(self.a.build, 'app', 'pollwright'))
        if b'__asan_init' not in open(self.bin, 'rb').read():  # else the sanitizer check could never fail
            sys.exit(f'error: {self.a.build} is not a sanitizer build (configure it with -DPOLLWRIGHT_SANITIZE=ON)')
        self.slave_bin = self.copy_when_stable(os.path.join(self.a.build, 'tools', 'pollwright-slave'))
        with open(os.path.join(self.out, 'lsan.supp'), 'w') as f:
            f.write(''.join(open(os.path.join(REPO, 'tests', s)).read() for s in ('lsan.supp', 'monkey/lsan-xcb.supp')))
        shutil.copy(os.path.join(REPO, 'resources', 'bin.png'), self.cwd)
        rfd, wfd = os.pipe()
        self.xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(wfd), '-screen', '0', '1280x1024x24', '-nolisten',
                                      'tcp'], pass_fds=[wfd], stderr=open(os.path.join(self.out, 'xvfb.log'), 'w'))
        os.close(wfd)
        select.select([rfd], [], [], 15)[0] or sys.exit('error: Xvfb did not start')
        self.display = ':' + os.read(rfd, 64).decode().strip()
        self.xenv, self.disp = dict(os.environ, DISPLAY=self.display), Display(self.display)
        self.start_slave()
        self.make_home()
        for top, dirs, files in [t for d in (self.home, self.san, self.cwd, self.run) for t in os.walk(d)]:
            for p in [top] + [os.path.join(top, f) for f in dirs + files]:
                os.chown(p, NOBODY, NOBODY)
        for d, mode in ((self.run, 0o700), (self.home, 0o700), (w, 0o555)):  # nothing can land beside home
            os.chown(d, NOBODY, NOBODY)
            os.chmod(d, mode)
        probe = subprocess.run(['unshare', '-m', '--propagation', 'private', 'sh', '-c', SANDBOX, 'sandbox', w, 'sh',
                                '-c', '[ -w "$0" ] && [ ! -w /tmp ] && [ ! -w /var/tmp ] && [ "$(id -u)" = 65534 ]',
                                self.home], capture_output=True, text=True)
        if probe.returncode:
            print(f'error: the sandbox (unshare -m, read-only remounts, setpriv to nobody) does not work here '
                  f'(status {probe.returncode}) {probe.stderr.strip()}', file=sys.stderr)
            sys.exit(2)
        self.before = self.snapshot()

    def make_home(self):
        site, other = os.path.join(self.home, 'polls', 'site a'), os.path.join(self.home, 'polls', 'other')
        for d in (site, other, os.path.join(self.home, '.quarvel'), os.path.join(self.home, 'logs')):
            os.makedirs(d)
        for name, src in (('demo.xml', 'resources/demo-polls.xml'), ('full.xml', 'tests/data/pollfiles/full.xml'),
                          ('fresh.xml', 'tests/data/pollfiles/fresh.xml')):
            shutil.copy(os.path.join(REPO, src), os.path.join(site, name))
        shutil.copy(os.path.join(site, 'demo.xml'), os.path.join(other, 'copy of demo.xml'))
        demo = open(os.path.join(site, 'demo.xml'), 'rb').read()
        for name, data in (('not-xml.xml', b'this is not XML <polls>'), ('empty.xml', b''),
                           ('wrong-root.xml', b"<?xml version='1.0'?>\n<settings>\n <port>x</port>\n</settings>\n"),
                           ('bad-sequence.xml', demo.replace(b'<S>3</S>', b'<S>100</S>', 1)),
                           ('junk.xml', bytes(self.rng.randrange(256) for _ in range(2000)))):
            open(os.path.join(site, name), 'wb').write(data)
        rest = [os.path.join(site, 'bad-sequence.xml'), os.path.join(site, 'not-xml.xml'),
                os.path.join(other, 'copy of demo.xml'), os.path.join(self.home, 'gone.xml')]
        self.rng.shuffle(rest)  # the browser starts in the folder of the first
        recent = ''.join(f'  <recent{i}>{escape(p)}</recent{i}>\n' for i, p in
                         enumerate([os.path.join(site, 'demo.xml')] + rest, 1))
        fields = [('port', ''), ('baud', 9600), ('data', 8), ('flow', 0), ('parity', 0), ('stop', 1),
                  ('ethernet', '127.0.0.1'), ('connectonce', self.rng.randrange(2)), ('portnumber', self.port),
                  ('isserial', 0), ('logenabled', 1), ('logpath', escape(os.path.join(self.home, 'logs')))]
        open(os.path.join(self.home, '.quarvel', 'pollwright-settings.xml'), 'w').write(
            "<?xml version='1.0' encoding='UTF-8'?>\n<settings>\n" + ''.join(f' <{k}>{v}</{k}>\n' for k, v in fields)
            + f' <recentfiles>\n{recent} </recentfiles>\n</settings>\n')

    def snapshot(self):
        """Names, sizes and mtimes outside the scratch home. In the shared temporary folders only
        what nobody owns counts: other users' files there come and go all the time."""
        seen, skip = {}, {self.home, self.run, self.out}
        for top in ('/tmp', '/var/tmp', '/dev/shm', '/run/lock', self.work):
            mine = top == self.work
            for path, dirs, files in os.walk(top):
                dirs[:] = [d for d in dirs if os.path.join(path, d) not in skip
                           and (mine or not d.startswith('pollwright-monkey.'))]
                for p in [path] * (path == top == self.work) + [os.path.join(path, n) for n in dirs + files]:
                    try:
                        s = os.lstat(p)
                    except OSError:
                        continue
                    if mine or s.st_uid == NOBODY:
                        seen[p] = (s.st_size, s.st_mtime_ns)
        return seen

    def start_slave(self):
        self.faults += self.chaos
        self.slaves += 1
        out = os.path.join(self.out, f'slave-{self.slaves}.log')
        self.slave = subprocess.Popen([self.slave_bin, '--tcp', str(self.port)] + ['--chaos', '30'] * self.chaos,
                                      stdout=open(out, 'w'), stderr=subprocess.STDOUT)
        for _ in range(100):
            words = open(out).read().split()
            if words[:2] == ['ready', 'tcp']:
                self.port = int(words[2])
                return self.note(f'slave up on port {self.port}, chaos {"30 %" if self.chaos else "off"}')
            time.sleep(0.1)
        raise Fail(f'the test slave did not start on port {self.port} (see {out})')

    def tend_slave(self):
        """Ten-second periods, a share of them with faults on; now and then the slave goes away."""
        period = int((time.monotonic() - self.t0) // 10)
        if period != self.period:
            self.period, chaos = period, period in self.chaos_periods
            if self.slave and (chaos != self.chaos or self.srng.random() < 0.15):
                self.slave.terminate()
                self.slave.wait(10)
                self.slave = None
                if chaos == self.chaos:
                    self.slave_back = time.monotonic() + self.srng.uniform(2, 5)
                    self.faults += 1
                    self.note('slave stopped for a few seconds')
            self.chaos = chaos
        if self.slave and self.slave.poll() is not None:
            self.note(f'slave ended by itself (status {self.slave.returncode}); starting it again')
            self.slave = None
        if not self.slave and time.monotonic() >= self.slave_back:
            self.start_slave()

    def start_program(self):
        self.starts += 1
        self.errlog = os.path.join(self.out, f'program-{self.starts}.log')
        env = [f'HOME={self.home}', f'XDG_RUNTIME_DIR={self.run}', f'DISPLAY={self.display}', 'QT_QPA_PLATFORM=xcb',
               'LANG=C.UTF-8', 'PATH=/usr/bin:/bin', f'ASAN_OPTIONS=log_path={self.san}/asan:detect_leaks=1',
               f'LSAN_OPTIONS=suppressions={self.out}/lsan.supp:print_suppressions=0',
               f'UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path={self.san}/ubsan']
        self.proc = subprocess.Popen(['unshare', '-m', '--propagation', 'private', 'sh', '-c', SANDBOX, 'sandbox',
                                      self.work] + env + [self.bin], stdin=subprocess.DEVNULL,
                                     stdout=open(self.errlog, 'w'), stderr=subprocess.STDOUT)
        self.note(f'program start {self.starts}, pid {self.proc.pid}')
        self.comms_seen, self.main_seen = False, time.monotonic()
        for _ in range(150):
            self.check_process(False)
            if any(w.title == MAIN for w in self.windows()):
                return
            time.sleep(0.2)
        raise Fail('the main window did not show within 30 s of the start')

    def check_process(self, may_end):
        if os.listdir(self.san):
            time.sleep(1)  # let the report be written out
            raise Fail('sanitizer report')
        rc = self.proc.poll()
        if rc == 0 and may_end:
            return self.finishing or self.note('program ended with status 0') or self.start_program()
        if rc is not None:
            raise Fail('the sandbox failed (status 97)' if rc == 97 else 'the program ended unexpectedly (' + (
                f'killed by signal {-rc})' if rc < 0 else f'exit status {rc})'))

    def check_outside(self):
        now = self.snapshot()
        diff = sorted(p for p in set(now) | set(self.before) if now.get(p) != self.before.get(p))
        if diff:
            raise Fail('changes outside the scratch home: ' + ', '.join(
                f'{p} ({"new" if p not in self.before else "gone" if p not in now else "changed"})' for p in diff[:20]))

    def check_alive(self, wins):
        main = [w for w in wins if w.title == MAIN]
        if main:
            self.main_seen = time.monotonic()
            if self.n % 3 == 0 and not self.disp.ping(main[0].id, 10):
                self.check_process(False)
                raise Fail('hang: the main window did not answer _NET_WM_PING within 10 s')
        elif time.monotonic() - self.main_seen > 10:
            raise Fail('the main window is gone for 10 s but the program still runs')

    def close_main(self, wins):
        """Closing the main window ends the program within 2 s, whatever else is open."""
        others = [w.title for w in wins if w.title != MAIN]
        self.disp.send([w for w in wins if w.title == MAIN][0].id, self.disp.delete)
        end = time.monotonic() + 2
        while self.proc.poll() is None and time.monotonic() < end:
            time.sleep(0.05)
        if self.proc.poll() is None:
            raise Fail(f'the main window was closed (other windows open: {others or "none"}), but the program '
                       'still runs 2 s later')
        self.check_process(True)

    def note(self, text, action=False):
        self.n += action
        line = f'{"#" + str(self.n) if action else "  "} t={time.monotonic() - self.t0:.3f} {text}'
        print(line, flush=True)
        self.log.write(line + '\n')
        self.log.flush()
        self.last.append(line)

    def windows(self):
        """The program's visible windows, bottom to top."""
        for _ in range(3):  # a window that goes away meanwhile spoils the listing: look again
            out = subprocess.run(['xdotool', 'search', '--onlyvisible', '--class', 'pollwright', 'getwindowname',
                                  '%@', 'getwindowgeometry', '--shell', '%@'], env=self.xenv, capture_output=True,
                                 text=True, timeout=20).stdout.splitlines()
            n = sum(line.startswith('WINDOW=') for line in out)
            if len(out) == 7 * n:
                geo = (dict(kv.split('=', 1) for kv in out[n + 6 * i:n + 6 * i + 6]) for i in range(n))
                return [Win(int(g['WINDOW']), t, int(g['X']), int(g['Y']), int(g['WIDTH']), int(g['HEIGHT']))
                        for t, g in zip(out[:n], geo)]
        return []

    def at(self, w, x, y):
        return ['mousemove', max(0, w.x + int(x)), max(0, w.y + int(y))]

    def inside(self, w, rect):
        x, y, rw, rh = rect
        return self.at(w, x + self.rng.uniform(0.15, 0.85) * rw, y + self.rng.uniform(0.25, 0.75) * rh)

    def steps(self, w, kind, rect, to=None):
        """xdotool command chains for one action (a chain may end with a text to type)."""
        r, p = self.rng, self.inside(w, rect) if len(rect) == 4 else None
        if kind in ('recent', 'file', 'comms'):
            steps = [self.at(w, 70 if kind == 'comms' else 20, 10) + ['click', 1, 'sleep', 0.3] + self.at(w, *rect)
                     + ['click', 1]]
            return steps + [['sleep', 0.4] + self.at(w, 300, 34 + 25 * r.randrange(5)) + ['click', 1]] * (
                kind == 'recent')
        if kind == 'spin' and r.random() < 0.6:  # the arrows
            return [self.at(w, rect[0] + rect[2] - 7, rect[1] + rect[3] * r.choice([0.3, 0.75]))
                    + ['click', '--repeat', r.randint(1, 5), '--delay', 60, 1]]
        if kind == 'area':
            kind = r.choice(['click', 'click', 'double-click', 'right-click', 'scroll'])
        if kind in ('spin', 'edit', 'ip', 'port', 'name', 'text'):
            texts = {'name': FILES + TEXTS, 'ip': ['127.0.0.1'] * 6 + TEXTS, 'port': [str(self.port)] * 6 + TEXTS,
                     'text': TEXTS + ['new folder', 'renamed', 'sub/deeper']}.get(kind, TEXTS)
            typing = ['key', 'ctrl+a', 'type', '--delay', 8, '--', r.choice(texts)]
            steps = [(p + ['click', 1, 'sleep', 0.1] if kind != 'text' else []) + typing]
            if kind == 'name':  # then press Load/Save
                return steps + [['sleep', 0.1] + self.at(w, 672, 495) + ['click', 1]]
            return steps + [['key', r.choice(['Return', 'Tab'])]] * (r.random() < 0.5)
        if kind == 'pick':
            return [p + ['click', 1, 'sleep', 0.2] + self.at(w, 672, 495) + ['click', 1]]
        if kind == 'drag':
            return [p + ['mousedown', 1, 'sleep', 0.1, 'mousemove_relative', 0, 12, 'sleep', 0.1] + self.inside(w, to)
                    + ['sleep', 0.3, 'mouseup', 1]]
        return [p + {'click': ['click', 1], 'double-click': ['click', '--repeat', 2, '--delay', 90, 1],
                     'right-click': ['click', 3], 'menu': ['click', 1, 'sleep', 0.3, 'click', 3],
                     'scroll': ['click', '--repeat', 3, r.choice([4, 5])],
                     'combo': ['click', 1] + ['sleep', 0.3, 'key', r.choice(['Up', 'Down', 'End']), 'Return'] * (
                         r.random() < 0.5)}[kind]]

    def step(self):
        wins = self.windows()
        if not wins:
            return
        popups, modal = [w for w in wins if w.title == 'pollwright'], [w for w in wins if w.title not in NON_MODAL]
        r = self.rng.random()
        w = popups[-1] if popups and r < 0.8 else modal[-1] if modal and r < 0.85 else self.rng.choice(
            [v for v in wins if v.title in (MAIN, 'Report Logging')] or wins)
        self.comms_seen = any(v.title == 'Comms' for v in wins)
        r, whole = self.rng.random(), (2, 2, w.w - 4, w.h - 4)
        if r < 0.05:
            return self.other_program()
        if r < (0.08 if w.title == MAIN else 0.09):
            others = [v.title for v in wins if v.title != MAIN] if w.title == MAIN else []
            self.note(f'close "{w.title}" (WM_DELETE_WINDOW)' + (f', also open: {others}' if others else ''), True)
            return self.close_main(wins) if w.title == MAIN else self.disp.send(w.id, self.disp.delete)
        if r < 0.19 or (w.title == 'pollwright' and r < 0.3):
            what, steps = 'key', [['key', self.rng.choice(KEYS)]]
        elif r < 0.25 or w.title == 'pollwright':
            what, steps = 'click anywhere', self.steps(w, 'click', whole)
        elif w.title in ACTIONS:
            _, target, kind, *rects = self.rng.choices(ACTIONS[w.title], [a[0] for a in ACTIONS[w.title]])[0]
            what, steps = f'{kind} {target}', self.steps(w, kind, *rects)
        else:  # message boxes and input dialogs
            kind = self.rng.choice(['text', 'text', 'key', 'button row'])
            what, steps = kind, (self.steps(w, 'text', whole) if kind == 'text' else [['key', self.rng.choice(
                ['Return', 'Return', 'Escape', 'Tab'])]] if kind == 'key' else self.steps(
                w, 'click', (w.w * 0.3, w.h - 34, w.w * 0.7 - 10, 28)))
        self.note(f'{w.title}: {what}  [' + ' | '.join(' '.join(map(str, s)) for s in steps) + ']', True)
        self.xdo(*steps)

    def xdo(self, *chains):
        for s in chains:
            subprocess.run(['xdotool'] + [str(a) for a in s], env=self.xenv, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def other_program(self):
        """A download appears or goes in a folder the browsers may be watching, as on any desktop."""
        p = os.path.join(self.home, self.rng.choice(['polls/site a', 'polls/site a', 'polls', 'logs']),
                         f'download-{self.rng.randrange(3)}.xml')
        self.note(f'another program {"removes" if os.path.exists(p) else "writes"} {p}', True)
        try:
            if os.path.exists(p):
                os.remove(p)
            else:
                open(p, 'w').write("<?xml version='1.0'?>\n<polls/>\n")
                os.chown(p, NOBODY, NOBODY)
        except OSError:  # the monkey may have renamed or filled that folder
            pass

    def finish(self):
        """The run ends as a user ends it: closing the main window must end the program cleanly."""
        self.finishing, wins = True, self.windows()
        if self.proc.poll() is None and any(w.title == MAIN for w in wins):
            self.note('close the main window at the end', True)
            self.close_main(wins)
        self.check_process(True)
        self.check_outside()

    def main(self):
        periods = max(1, -(-self.a.seconds // 10))
        self.chaos_periods = set(self.srng.sample(range(periods), round(self.a.chaos_share * periods)))
        self.setup()
        self.t0 = time.monotonic()
        self.start_program()
        while time.monotonic() - self.t0 < self.a.seconds:
            self.tend_slave()
            self.step()
            time.sleep(self.rng.uniform(0.03, 0.15))
            if self.proc.poll() is None:
                self.check_alive(self.windows())
            self.check_process(self.comms_seen)
            if self.n % 25 == 0:
                self.check_outside()
        self.finish()

    def report(self, why):
        out = [f'\nmonkey: FAILED: {why}', f'seed {self.a.seed}, {time.monotonic() - self.t0:.1f} s into the run, '
               f'after action #{self.n}; the last actions:'] + ['  ' + line for line in self.last]
        for f in sorted(os.listdir(self.san)):
            out += [f'sanitizer log {self.san}/{f}:', open(os.path.join(self.san, f), errors='replace').read()]
        if self.proc:
            tail = open(self.errlog, errors='replace').read().splitlines()[-40:]
            out += [f'program output, last {len(tail)} lines of {self.errlog}:'] + ['  ' + t for t in tail]
        out += [f'replay: bash tests/monkey/monkey.sh {self.a.build} {self.a.seconds} {self.a.seed} --chaos-share '
                f'{self.a.chaos_share}', f'work folder kept: {self.work}']
        print('\n'.join(out), flush=True)
        self.log.write('\n'.join(out) + '\n')

    def cleanup(self):
        for p, sig in ((self.proc, signal.SIGKILL), (self.slave, signal.SIGTERM), (self.xvfb, signal.SIGTERM)):
            if p and p.poll() is None:
                p.send_signal(sig)
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()


def main():
    ap = argparse.ArgumentParser(description='GUI monkey for Pollwright (run as root through monkey.sh)')
    for name, kind in (('build', str), ('seconds', int), ('seed', int), ('--chaos-share', float)):
        ap.add_argument(name, type=kind, **({'default': 0.3} if name[0] == '-' else {}))
    a = ap.parse_args()
    a.build = os.path.abspath(a.build)
    m = Monkey(a)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        m.main()
        print(f'monkey: passed: {a.seconds} s, {m.n} actions, {m.starts} program starts, '
              f'{m.faults} slave fault periods (seed {a.seed})')
        return 0
    except Fail as e:
        m.failed = True
        m.report(e)
        return 1
    except KeyboardInterrupt:
        return 130
    finally:
        m.cleanup()
        if not m.failed and m.work:
            shutil.rmtree(m.work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
