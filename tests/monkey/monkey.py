#!/usr/bin/python3
"""GUI monkey: random user input on the real windows under a private Xvfb, the program sandboxed as user
nobody, against the test slave that now and then misbehaves or goes away. Run it through monkey.sh."""
import argparse, collections, json, os, random, shutil, signal, subprocess, sys, tempfile, time
from xml.sax.saxutils import escape
from Xlib import X, display, error, protocol

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
MAIN, NOBODY = 'Quarvel - Pollwright v1.9', 65534
NON_MODAL = {MAIN, 'Report Logging', 'pollwright'}  # Qt names popups after the program
# A private mount namespace where every mount is read-only (the device nodes stay usable) but the work
# folder, added at the start; in it the program runs as nobody with only the environment it is given.
SANDBOX = ['bwrap', '--die-with-parent', '--ro-bind', '/', '/', '--dev-bind', '/dev', '/dev',
           '--ro-bind', '/dev/shm', '/dev/shm']
AS_NOBODY = ['setpriv', f'--reuid={NOBODY}', f'--regid={NOBODY}', '--clear-groups', 'env', '-i']
# Texts, keys, gestures, the scratch home, the program's environment and the actions per window title.
TABLE = json.load(open(os.path.join(HERE, 'actions.json'), encoding='utf-8'))
Win = collections.namedtuple('Win', 'id title x y w h')


class Fail(Exception):
    pass


def wait_for(condition, seconds, pause=0.05):
    # Whether condition() comes true within the time.
    end = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(pause)
    return True


def main_window(wins):
    return next((w for w in wins if w.title == MAIN), None)


class Display:
    """The windows, and what a window manager sends: WM_DELETE_WINDOW, and _NET_WM_PING with its answer."""
    def __init__(self, name):
        self.d = display.Display(name)
        self.root, self.stamp = self.d.screen().root, 1000
        self.protocols, self.delete, self.ping_atom, self.name = map(self.d.intern_atom, (
            'WM_PROTOCOLS', 'WM_DELETE_WINDOW', '_NET_WM_PING', '_NET_WM_NAME'))
        self.root.change_attributes(event_mask=X.StructureNotifyMask)  # Qt answers a ping there

    def windows(self):
        """The program's visible windows, bottom to top."""
        wins = []
        for w in self.root.query_tree().children:
            try:
                if w.get_attributes().map_state == X.IsViewable and w.get_wm_class() == ('pollwright',) * 2:
                    g = w.get_geometry()
                    wins.append(Win(w.id, w.get_full_text_property(self.name), g.x, g.y, g.width, g.height))
            except error.XError:  # gone meanwhile
                pass
        return wins

    def send(self, win, atom, stamp=0):
        w = self.d.create_resource_object('window', win)
        ev = protocol.event.ClientMessage(window=w, client_type=self.protocols, data=(32, [atom, stamp, win, 0, 0]))
        w.send_event(ev, onerror=lambda *_: None)  # a window gone meanwhile is no reason to stop
        self.d.flush()

    def ping(self, win, timeout):
        self.stamp += 1
        self.send(win, self.ping_atom, self.stamp)
        return wait_for(lambda: self.answered([self.ping_atom, self.stamp]), timeout, 0.02)

    def answered(self, ping):
        events = [self.d.next_event() for _ in range(self.d.pending_events())]
        return any(e.type == X.ClientMessage and list(e.data[1][:2]) == ping for e in events)


class Monkey:
    def __init__(self, a):
        self.a, self.rng, self.srng = a, random.Random(a.seed), random.Random(f'slave {a.seed}')
        self.last = collections.deque(maxlen=30)
        self.n = self.starts = self.faults = self.slaves = self.port = 0
        self.proc = self.slave = self.xvfb = self.work = None
        self.period, self.chaos, self.slave_back, self.finishing = -1, False, 0.0, False
        self.t0 = time.monotonic()

    def setup(self):
        w = self.work = tempfile.mkdtemp(prefix='pollwright-monkey.', dir='/var/tmp')
        # Hidden names keep the program's own folders out of the file browser's tree.
        self.home, self.out, self.san, self.cwd, self.run = (os.path.join(w, d) for d in
                                                             ('home', '.out', '.san', '.cwd', '.run'))
        for d in (self.out, self.san, self.cwd, self.run, os.path.join(self.home, 'logs')):
            os.makedirs(d)
        self.log = open(os.path.join(self.out, 'actions.log'), 'w')
        self.note(f'monkey: seed {self.a.seed}, {self.a.seconds} s, chaos share {self.a.chaos_share}, work folder {w}')
        # Copies that nobody can run, whichever folder the build is in.
        self.bin, self.slave_bin = (shutil.copy(os.path.join(self.a.build, p), self.out) for p in (
            'app/pollwright', 'tools/pollwright-slave'))
        if b'__asan_init' not in open(self.bin, 'rb').read():  # else the sanitizer check could never fail
            sys.exit(f'error: {self.a.build} is not a sanitizer build (configure it with -DPOLLWRIGHT_SANITIZE=ON)')
        with open(os.path.join(self.out, 'lsan.supp'), 'w') as f:
            f.write(''.join(open(os.path.join(REPO, 'tests', s)).read() for s in ('lsan.supp', 'monkey/lsan-xcb.supp')))
        shutil.copy(os.path.join(REPO, 'resources', 'bin.png'), self.cwd)
        self.xvfb = subprocess.Popen(['Xvfb', '-displayfd', '1', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'],
                                     stdout=subprocess.PIPE, stderr=open(os.path.join(self.out, 'xvfb.log'), 'w'))
        self.display = os.environ['DISPLAY'] = ':' + self.xvfb.stdout.readline().decode().strip()
        self.disp = Display(self.display)
        self.start_slave()
        self.make_home()
        subprocess.run(['chown', '-R', f'{NOBODY}:{NOBODY}', self.home, self.san, self.cwd, self.run], check=True)
        os.chown(w, NOBODY, NOBODY)
        for d, mode in ((self.run, 0o700), (self.home, 0o700), (w, 0o555)):  # nothing can land beside home
            os.chmod(d, mode)
        self.cwd_time = os.stat(self.cwd).st_mtime_ns

    def make_home(self):
        """Poll files good and bad, the settings, and recent files of which one is gone."""
        home, t = self.home, TABLE['home']

        def put(name, data):
            os.makedirs(os.path.dirname(os.path.join(home, name)), exist_ok=True)
            open(os.path.join(home, name), 'wb').write(data)
        for name, (src, find, repl) in t['copies'].items():
            put(name, open(os.path.join(REPO, src), 'rb').read().replace(find.encode(), repl.encode(), 1))
        for name, text in t['written'].items():
            put(name, text.encode())
        put(t['junk'], bytes(self.rng.randrange(256) for _ in range(2000)))
        recent = t['recent'][1:]
        self.rng.shuffle(recent)  # the browser starts in the folder of the first
        recent = ''.join(f'  <recent{i}>{escape(os.path.join(home, p))}</recent{i}>\n'
                         for i, p in enumerate(t['recent'][:1] + recent, 1))
        put(t['settings_file'], ''.join(t['settings']).format(
            port=self.port, once=self.rng.randrange(2), logs=escape(os.path.join(home, 'logs')), recent=recent).encode())

    def start_slave(self):
        self.faults += self.chaos
        self.slaves += 1
        out = os.path.join(self.out, f'slave-{self.slaves}.log')
        self.slave = subprocess.Popen([self.slave_bin, '--tcp', str(self.port)] + ['--chaos', '30'] * self.chaos,
                                      stdout=open(out, 'w'), stderr=subprocess.STDOUT)
        if not wait_for(lambda: open(out).read().split()[:2] == ['ready', 'tcp'], 10, 0.1):
            raise Fail(f'the test slave did not start on port {self.port} (see {out})')
        self.port = int(open(out).read().split()[2])
        self.note(f'slave up on port {self.port}, chaos {"30 %" if self.chaos else "off"}')

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
        env = [e.format(home=self.home, run=self.run, display=self.display, san=self.san, out=self.out)
               for e in TABLE['environment']]
        self.proc = subprocess.Popen(SANDBOX + ['--bind', self.work, self.work, '--chdir', self.cwd] + AS_NOBODY + env
                                     + [self.bin], stdin=subprocess.DEVNULL, stdout=open(self.errlog, 'w'),
                                     stderr=subprocess.STDOUT)
        self.note(f'program start {self.starts}, pid {self.proc.pid}')
        self.comms_seen, self.main_seen = False, time.monotonic()
        # check_process answers None, or fails the run.
        if not wait_for(lambda: self.check_process(False) or main_window(self.disp.windows()), 30, 0.2):
            raise Fail('the main window did not show within 30 s of the start')

    def check_process(self, may_end):
        """Fails on a sanitizer report or an exit other than the user's; restarts the program after that."""
        if os.listdir(self.san):
            time.sleep(1)  # let the report be written out
            raise Fail('sanitizer report')
        rc = self.proc.poll()
        if rc == 0 and may_end:
            return self.finishing or self.note('program ended with status 0') or self.start_program()
        if rc is not None:
            how = f'killed by signal {rc - 128}' if rc > 128 else f'exit status {rc}'  # as bwrap passes a signal on
            raise Fail(f'the program ended unexpectedly ({how})')

    def check_outside(self):
        """The sandbox keeps all but the work folder read-only; there the program may write only in its home."""
        if os.listdir(self.cwd) != ['bin.png'] or os.stat(self.cwd).st_mtime_ns != self.cwd_time:
            raise Fail(f'the program wrote into its working folder: {os.listdir(self.cwd)}')

    def check_alive(self, wins):
        if main_window(wins):
            self.main_seen = time.monotonic()
            if self.n % 3 == 0 and not self.disp.ping(main_window(wins).id, 10):
                self.check_process(False)
                raise Fail('hang: the main window did not answer _NET_WM_PING within 10 s')
        elif time.monotonic() - self.main_seen > 10:
            raise Fail('the main window is gone for 10 s but the program still runs')

    def close_main(self, wins):
        """Closing the main window ends the program within 2 s, whatever else is open."""
        self.disp.send(main_window(wins).id, self.disp.delete)
        if not wait_for(lambda: self.proc.poll() is not None, 2):
            others = [w.title for w in wins if w.title != MAIN] or 'none'
            raise Fail(f'the main window was closed (other windows open: {others}), but the program still runs 2 s later')
        self.check_process(True)

    def note(self, text, action=False):
        self.n += action
        line = f'{"#" + str(self.n) if action else "  "} t={time.monotonic() - self.t0:.3f} {text}'
        print(line, flush=True)
        print(line, file=self.log, flush=True)
        self.last.append(line)

    def at(self, w, x, y):
        return ['mousemove', max(0, w.x + int(x)), max(0, w.y + int(y))]

    def inside(self, w, rect):
        x, y, rw, rh = rect
        return self.at(w, x + self.rng.uniform(0.15, 0.85) * rw, y + self.rng.uniform(0.25, 0.75) * rh)

    def steps(self, w, kind, rect, to=None):
        """xdotool command chains for one action (a chain may end with a text to type)."""
        if kind == 'clicks':  # a menu and its entries, or a file and then Load/Save
            return [sum(((self.inside(w, q) if len(q) == 4 else self.at(w, *q)) + ['click', 1, 'sleep', 0.35]
                         for q in rect), [])]
        r, p = self.rng, self.inside(w, rect)
        if kind == 'spin' and r.random() < 0.6:  # the arrows
            return [self.at(w, rect[0] + rect[2] - 7, rect[1] + rect[3] * r.choice([0.3, 0.75]))
                    + ['click', '--repeat', r.randint(1, 5), '--delay', 60, 1]]
        if kind in ('spin', 'edit', 'ip', 'port', 'name', 'text'):
            text = r.choice(TABLE['texts'] + TABLE['typed'].get(kind, [])).replace('{port}', str(self.port))
            click = p + ['click', 1, 'sleep', 0.1] if kind != 'text' else []
            steps = [click + ['key', 'ctrl+a', 'type', '--delay', 8, '--', text]]
            if kind == 'name':  # then press Load/Save
                return steps + [['sleep', 0.1] + self.at(w, 672, 495) + ['click', 1]]
            return steps + [['key', r.choice(['Return', 'Tab'])]] * (r.random() < 0.5)
        if kind == 'drag':
            return [p + ['mousedown', 1, 'sleep', 0.1, 'mousemove_relative', 0, 12, 'sleep', 0.1] + self.inside(w, to)
                    + ['sleep', 0.3, 'mouseup', 1]]
        return [p + r.choice(TABLE['gestures'][kind])]

    def step(self, wins):
        popups, modal = [w for w in wins if w.title == 'pollwright'], [w for w in wins if w.title not in NON_MODAL]
        r = self.rng.random()
        w = popups[-1] if popups and r < 0.8 else modal[-1] if modal and r < 0.85 else self.rng.choice(
            [v for v in wins if v.title in (MAIN, 'Report Logging')] or wins)
        self.comms_seen = any(v.title == 'Comms' for v in wins)
        r, whole, actions = self.rng.random(), (2, 2, w.w - 4, w.h - 4), TABLE['actions'].get(w.title)
        if r < 0.05:
            return self.other_program()
        if r < (0.08 if w.title == MAIN else 0.09):
            self.note(f'close "{w.title}" (WM_DELETE_WINDOW); open: {[v.title for v in wins]}', True)
            return self.close_main(wins) if w.title == MAIN else self.disp.send(w.id, self.disp.delete)
        if r < 0.19 or (w.title == 'pollwright' and r < 0.3):
            what, steps = 'key', [['key', self.rng.choice(TABLE['keys'])]]
        elif r < 0.25 or w.title == 'pollwright':
            what, steps = 'click anywhere', self.steps(w, 'click', whole)
        elif actions:
            _, target, kind, *rects = self.rng.choices(actions, [a[0] for a in actions])[0]
            what, steps = f'{kind} {target}', self.steps(w, kind, *rects)
        else:  # message boxes and input dialogs: type, press a key, or a button of the row at the bottom
            what = self.rng.choice(['text', 'text', 'key', 'button row'])
            steps = self.steps(w, 'text', whole) if what == 'text' else [['key', self.rng.choice(
                ['Return', 'Return', 'Escape', 'Tab'])]] if what == 'key' else self.steps(
                w, 'click', (w.w * 0.3, w.h - 34, w.w * 0.7 - 10, 28))
        self.note(f'{w.title}: {what}  [' + ' | '.join(' '.join(map(str, s)) for s in steps) + ']', True)
        for s in steps:
            subprocess.run(['xdotool'] + [str(a) for a in s], timeout=30, capture_output=True)

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

    def main(self):
        periods = max(1, -(-self.a.seconds // 10))
        self.chaos_periods = set(self.srng.sample(range(periods), round(self.a.chaos_share * periods)))
        self.setup()
        self.t0 = time.monotonic()
        self.start_program()
        while time.monotonic() - self.t0 < self.a.seconds:
            self.tend_slave()
            wins = self.disp.windows()
            if wins:
                self.step(wins)
            time.sleep(self.rng.uniform(0.03, 0.15))
            if self.proc.poll() is None:
                self.check_alive(self.disp.windows())
            self.check_process(self.comms_seen)
            if self.n % 25 == 0:
                self.check_outside()
        # The run ends as a user ends it: closing the main window must end the program cleanly.
        self.finishing, wins = True, self.disp.windows()
        if self.proc.poll() is None and main_window(wins):
            self.note('close the main window at the end', True)
            self.close_main(wins)
        self.check_process(True)
        self.check_outside()

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
        print('\n'.join(out), file=self.log)


def main():
    ap = argparse.ArgumentParser(description='GUI monkey for Pollwright (run as root through monkey.sh)')
    for name, kind in (('build', os.path.abspath), ('seconds', int), ('seed', int), ('--chaos-share', float)):
        ap.add_argument(name, type=kind, **({'default': 0.3} if name[0] == '-' else {}))
    m = Monkey(ap.parse_args())
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        m.main()
        print(f'monkey: passed: {m.a.seconds} s, {m.n} actions, {m.starts} program starts, '
              f'{m.faults} slave fault periods (seed {m.a.seed})')
        return 0
    except Fail as e:
        m.report(e)
        m.work = None  # kept for a look
        return 1
    finally:
        for p, sig in ((m.proc, signal.SIGKILL), (m.slave, signal.SIGTERM), (m.xvfb, signal.SIGTERM)):
            if p and p.poll() is None:
                p.send_signal(sig)
                p.wait(10)
        if m.work:
            shutil.rmtree(m.work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
