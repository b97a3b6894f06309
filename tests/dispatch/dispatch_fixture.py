"""The dispatcher's surroundings as processes of the caller's own: a mosquitto, stations
(orvela-cli poll on vantor-sim), the service, and one headless chromium for everything.

Used by the browser tests, the screenshots and the bench. The programs come from
ORVELA_TEST_TOOLS (the build's tools folder)."""

import json
import os
import signal
import socket
import subprocess
import tempfile
import time
import urllib.request

TOOLS = os.environ.get("ORVELA_TEST_TOOLS", os.path.join(os.path.dirname(__file__), "../../build/tools"))
RUSSIAN = dict(os.environ, LANG="ru_RU.UTF-8", LC_ALL="ru_RU.UTF-8")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(condition, seconds=20.0, what="the condition"):
    """Looks every 50 ms until condition() gives something true, and returns it."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("not within %.0f s: %s" % (seconds, what))
        time.sleep(0.05)


def write_ini(path, text):
    """cp1251 and CR LF, as the program's own files are."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.replace("\n", "\r\n").encode("cp1251"))


class Broker:
    def __init__(self):
        self.dir = tempfile.TemporaryDirectory()
        self.port = free_port()
        conf = os.path.join(self.dir.name, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write("listener %d 127.0.0.1\nallow_anonymous true\nmax_queued_messages 100000\n" % self.port)
        self.log = open(os.path.join(self.dir.name, "broker.log"), "wb")
        self.process = subprocess.Popen(["mosquitto", "-c", conf], stdout=self.log, stderr=subprocess.STDOUT)
        wait_until(self._listening, 10, "mosquitto listens")

    def _listening(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), 0.2).close()
            return True
        except OSError:
            return False

    def publish(self, topic, payload, retain=False):
        command = ["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-q", "1", "-t", topic, "-m", payload]
        subprocess.run(command + (["-r"] if retain else []), check=True, timeout=10)

    def retained(self, topic):
        """The payload the broker holds for the topic, as JSON; None while it holds none."""
        run = subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.port), "-t", topic,
                              "--retained-only", "-C", "1", "-W", "2"], capture_output=True, timeout=15)
        return json.loads(run.stdout) if run.stdout.strip() else None

    def close(self):
        self.process.terminate()
        self.process.wait(10)
        self.log.close()
        self.dir.cleanup()


class Station:
    """orvela-cli poll as a station service on a simulator of its own, publishing every second a
    heartbeat to the broker."""

    def __init__(self, broker, name, faults=()):
        self.name = name
        self.dir = tempfile.TemporaryDirectory()
        home = self.dir.name
        write_ini(os.path.join(home, "INI/VANTOR.ini"), "[VANTOR]\nSystemAddress=1\n[ComPause]\nComPauseRead=10\n")
        write_ini(os.path.join(home, "INI/MQTT.ini"),
                  "[MQTT]\nEnabled=1\nHost=127.0.0.1\nPort=%d\nStation=%s\nKeepAlive=5\nHeartbeat=1\n"
                  % (broker.port, name))
        self.simulator = subprocess.Popen([os.path.join(TOOLS, "vantor-sim/vantor-sim")] + list(faults),
                                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        port = self.simulator.stdout.readline().decode().strip()
        self.errors = open(os.path.join(home, "poll.err"), "wb")
        self.poll = subprocess.Popen([os.path.join(TOOLS, "orvela-cli/orvela-cli"), "poll", "--port", port,
                                      "--interval", "20"],
                                     env=dict(RUSSIAN, ORVELA_HOME=home), stdout=subprocess.DEVNULL,
                                     stderr=self.errors)

    def kill(self):
        self.poll.send_signal(signal.SIGKILL)
        self.poll.wait(10)

    def close(self):
        for process in (self.poll, self.simulator):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(30)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.simulator.stdout.close()
        self.errors.close()
        self.dir.cleanup()


class Dispatcher:
    """orvela-dispatch in a program folder of its own; restart() keeps the folder."""

    def __init__(self, broker, ini="", listen_port=None, password=None, tls=False):
        self.dir = tempfile.TemporaryDirectory()
        self.home = self.dir.name
        self.broker = broker
        self.port = listen_port or free_port()
        self.url = "%s://127.0.0.1:%d/" % ("https" if tls else "http", self.port)
        if tls:
            # A certificate of its own for 127.0.0.1, as a site makes one for its server.
            self.certificate = os.path.join(self.home, "page.crt")
            key = os.path.join(self.home, "page.key")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                            "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key,
                            "-out", self.certificate], check=True, capture_output=True, timeout=60)
            ini += "[Web]\nCertFile=%s\nKeyFile=%s\n" % (self.certificate, key)
        write_ini(os.path.join(self.home, "INI/Dispatch.ini"), "[MQTT]\nStation=test%d\n" % self.port + ini)
        self.errors_path = os.path.join(self.home, "dispatch.err")
        self.process = None
        if password:
            # As a site sets it: the user and the password typed in.
            subprocess.run(self.command("--set-password"), env=self.env(), input=password.encode(), check=True,
                           capture_output=True, timeout=30)
        self.start()

    def command(self, *extra):
        return [os.path.join(TOOLS, "orvela-dispatch/orvela-dispatch"), "--broker", "127.0.0.1:%d" % self.broker.port,
                "--listen", "127.0.0.1:%d" % self.port] + list(extra)

    def env(self):
        return dict(RUSSIAN, ORVELA_HOME=self.home)

    def start(self):
        with open(self.errors_path, "ab") as errors:
            self.process = subprocess.Popen(self.command(), env=self.env(), stdout=subprocess.DEVNULL, stderr=errors)
        wait_until(lambda: "Соединение с брокером MQTT" in self.errors(), 15, "the dispatcher connects")

    def errors(self):
        with open(self.errors_path, "rb") as f:
            return f.read().decode("utf-8")

    def stop(self):
        self.process.terminate()
        self.process.wait(20)

    def restart(self):
        self.stop()
        self.start()

    def stations(self):
        with urllib.request.urlopen(self.url + "api/stations", timeout=10) as answer:
            return json.loads(answer.read())

    def close(self):
        if self.process.poll() is None:
            self.stop()
        self.dir.cleanup()


def start_browser():
    """Debian's chromium, headless, on a fresh profile; this machine's network is closed."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    profile = tempfile.mkdtemp(prefix="orvela-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + profile, "--window-size=1400,1000", "--lang=ru"):
        options.add_argument(argument)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    browser.orvela_profile = profile
    return browser


def stop_browser(browser):
    import shutil
    browser.quit()
    shutil.rmtree(browser.orvela_profile, ignore_errors=True)
