"""The dispatcher's page in a real browser, against a real mosquitto and real stations.

One chromium for the whole run; three stations (one with a faulty line, one whose name is
markup) and the service are started once, the tests go in their order."""

import base64
import json
import os
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(__file__))
from dispatch_fixture import (Broker, Dispatcher, Station, start_browser, stop_browser, wait_until,  # noqa: E402
                              free_port, TOOLS, RUSSIAN)

MARKUP = "<img src=x onerror=window.pwned=1>"
KIND_TEXTS = {"rise": "рост температуры", "controller": "контроллер", "error": "ошибка контроллера",
              "input": "вход", "sensor": "датчик"}
KIND_ORDER = list(KIND_TEXTS)

world = {}


def setUpModule():
    world["browser"] = start_browser()
    world["broker"] = broker = Broker()
    world["stations"] = [Station(broker, "line1"), Station(broker, "line2", ["--bad-crc", "0.05"]),
                         Station(broker, MARKUP)]
    alerts = tempfile.TemporaryDirectory()
    world["alerts"] = alerts
    script = os.path.join(alerts.name, "alert.sh")
    # Refuses its first alarm, as a messenger out of reach would, then writes every one it gets.
    with open(script, "w") as f:
        f.write('if [ ! -e "$0.failed" ]; then touch "$0.failed"; exit 3; fi\ncat >> "$0.out"\n')
    world["alert_out"] = script + ".out"
    world["dispatcher"] = Dispatcher(broker, "[Alerts]\nCommand=/bin/sh %s\nStations=alerts\nRetrySeconds=1\n" % script)


def tearDownModule():
    for name in ("dispatcher",):
        world[name].close()
    for station in world["stations"]:
        station.close()
    world["broker"].close()
    world["alerts"].cleanup()
    stop_browser(world["browser"])


def page(script, *args):
    return world["browser"].execute_script(script, *args)


def tiles():
    return page("""return [...document.querySelectorAll('#tiles .tile')].map(t => ({
        station: t.dataset.station, alive: t.classList.contains('alive'), name: t.querySelector('.tile-name').textContent,
        status: t.querySelector('.tile-status').textContent,
        alarms: t.querySelector('.tile-alarm-line .value').textContent}))""")


def tile(name):
    return next((t for t in tiles() if t["station"] == name), None)


def cells(row):
    """Texts and colours of a grid row on the station page."""
    return page("""const tr = document.querySelector('#grid tbody').rows[arguments[0] - 1];
        return tr ? [...tr.cells].map(td => [td.textContent, getComputedStyle(td).color]) : null""", row)


def open_page(fragment):
    world["browser"].get(world["dispatcher"].url + fragment)
    wait_until(lambda: page("return document.querySelector('#link').classList.contains('online')"), 15,
               "the page is connected")


class DispatcherPage(unittest.TestCase):
    def test_1_overview_agrees_with_the_retained_topics(self):
        open_page("")
        wait_until(lambda: len(tiles()) == 3 and all(t["alive"] for t in tiles()), 30, "three stations on line")
        broker = world["broker"]

        def expected_alarms():
            listed = broker.retained("orvela/line1/alarms/active")
            if not listed:
                return None
            counts = {}
            for a in listed["alarms"]:
                counts[a["kind"]] = counts.get(a["kind"], 0) + 1
            kinds = sorted(counts, key=lambda k: KIND_ORDER.index(k) if k in KIND_ORDER else len(KIND_ORDER))
            return ", ".join("%s %d" % (KIND_TEXTS.get(k, k), counts[k]) for k in kinds)
        wait_until(lambda: expected_alarms() == tile("line1")["alarms"], 20, "line1's alarms as retained")
        self.assertIn("вход", tile("line1")["alarms"])
        # Stations with alarms first, then by name.
        shown = tiles()
        self.assertEqual([t["station"] for t in shown],
                         [t["station"] for t in sorted(shown, key=lambda t: (t["alarms"] == "нет", t["station"]))])
        api = {s["station"]: s for s in world["dispatcher"].stations()}
        self.assertEqual(api["line1"]["status"], "online")
        self.assertFalse(api["line1"]["stale"])
        self.assertGreater(api["line1"]["hottest"]["temperature"], 0)
        self.assertIn(13, api["line1"]["notInExchange"])

    def test_2_station_grid_shows_the_inputs_as_the_window(self):
        open_page("#/station/line1/7")
        wait_until(lambda: (cells(192) or [[""]])[0][0] == "192" and cells(192)[1][0], 30, "192 rows")
        headers = page("return [...document.querySelectorAll('#grid thead th')].map(th => th.textContent)")
        self.assertEqual(headers[:3], ["N", "Состояние обмена", "Батарея"])
        # The simulator's scenery: 13 without link, 16 disabled, sensor 1 of input 5 in AAA7.
        self.assertEqual(cells(13)[1], ["Нет связи", "rgb(255, 0, 0)"])
        self.assertEqual(cells(16)[1], ["Отключен", "rgb(128, 128, 128)"])
        self.assertEqual(cells(5)[6][0], "AAA7")
        self.assertEqual(cells(7)[21][0], "Да")
        # What the grid shows beyond the readings: the probe's software and CRC, the set-point states.
        self.assertRegex(cells(7)[3][0], r"^\d+$")
        self.assertRegex(cells(7)[5][0], r"^[0-9A-F]{2} [0-9A-F]{2}$")
        self.assertTrue(all(text in ("0", "1") for text, _ in cells(7)[12:18]))

        def same_as_retained():
            payload = world["broker"].retained("orvela/line1/input/7")
            if not payload:
                return False
            shown = [text for text, _ in cells(7)[6:12]]
            given = [s["temperature"] for s in payload["sensors"]]
            return all(abs(float(text.replace(",", ".")) - t) <= 0.051 for text, t in zip(shown, given))
        wait_until(same_as_retained, 20, "input 7's temperatures as retained")
        # The input chosen in the address: its last readings from the stream.
        wait_until(lambda: page("return document.querySelector('#readings tbody').rows.length") > 0, 30,
                   "readings of input 7")
        self.assertIn("входа 7", page("return document.querySelector('#readings-title').textContent"))

    def test_3_markup_from_the_broker_shows_as_text(self):
        open_page("")
        wait_until(lambda: tile(MARKUP), 20, "the station named with markup")
        self.assertEqual(tile(MARKUP)["name"], MARKUP)
        self.assertIsNone(page("return window.pwned === undefined ? null : window.pwned"))
        self.assertEqual(page("return document.querySelectorAll('img').length"), 0)
        page("location.hash = arguments[0]", "#/station/" + urllib.request.quote(MARKUP, safe=""))
        wait_until(lambda: page("return document.querySelector('#station-name').textContent") == MARKUP, 10,
                   "its page")
        # What cannot be read is counted, and shown, not taken.
        broker = world["broker"]
        broker.publish("orvela/junk/input/3", "{not json")
        broker.publish("orvela/future/status", '{"schema":3,"status":"online"}')
        wait_until(lambda: "искаженных 1, неизвестной версии 1" in page("return document.querySelector('#service').textContent"),
                   10, "the skipped payloads counted")
        self.assertIsNone(tile("junk"))
        self.assertIsNone(tile("future"))

    def test_4_station_killed_turns_offline(self):
        open_page("")
        wait_until(lambda: tile(MARKUP) and tile(MARKUP)["alive"], 20, "the station on line")
        world["stations"][2].kill()
        wait_until(lambda: not tile(MARKUP)["alive"], 20, "the killed station off line")
        self.assertNotEqual(tile(MARKUP)["status"], "на связи")
        self.assertTrue(tile("line1")["alive"])

    def test_5_acknowledged_in_one_page_shown_in_another_and_kept(self):
        browser = world["browser"]
        open_page("#/alarms")
        first = browser.current_window_handle
        wait_until(lambda: page("return document.querySelectorAll('#alarm-list tbody tr').length") > 0, 20, "alarms")
        key = page("return document.querySelector('#alarm-list tbody tr:not(.acknowledged)').dataset.key")
        browser.switch_to.new_window("tab")
        second = browser.current_window_handle
        open_page("#/alarms")

        def acknowledgement():
            return page("""const tr = [...document.querySelectorAll('#alarm-list tbody tr')].find(r => r.dataset.key === arguments[0]);
                           return tr ? tr.querySelector('td.ack').textContent : ''""", key)
        self.assertEqual(acknowledgement(), "Подтвердить")
        browser.switch_to.window(first)
        page("document.querySelector('#ack-name').value = arguments[0]", "Петрова")
        page("""[...document.querySelectorAll('#alarm-list tbody tr')].find(r => r.dataset.key === arguments[0])
                .querySelector('button').click()""", key)
        browser.switch_to.window(second)
        wait_until(lambda: acknowledgement().startswith("Петрова, "), 5, "the acknowledgement in the other page")
        # The service goes: the page says so, and comes back by itself with the acknowledgement.
        world["dispatcher"].stop()
        wait_until(lambda: not page("return document.querySelector('#link-lost').hidden"), 10, "the lost link shown")
        world["dispatcher"].start()
        wait_until(lambda: page("return document.querySelector('#link-lost').hidden"), 20, "the page reconnected")
        wait_until(lambda: acknowledgement().startswith("Петрова, "), 10, "the acknowledgement after the restart")
        browser.close()
        browser.switch_to.window(first)

    def test_6_alert_command_gets_each_begin_and_end_once(self):
        broker, out = world["broker"], world["alert_out"]

        def today(minutes):
            return time.strftime("%Y-%m-%dT%H:%M:00.000Z", time.gmtime(time.time() - minutes * 60))

        def event(seq, input, active, time, text):
            return json.dumps({"schema": 2, "station": "alerts", "epoch": "e1", "seq": seq, "time": time,
                               "start": today(30), "input": input, "sensor": 3, "kind": "rise",
                               "active": active, "text": text, "rate": 0.07, "threshold": 0.04, "severity": "warning"})

        def lines():
            if not os.path.exists(out):
                return []
            with open(out, encoding="utf-8") as f:
                return [json.loads(line) for line in f]
        broker.publish("orvela/alerts/alarms/events", event(1, 7, True, today(30), "рост 1,6 °С/сут"))
        broker.publish("orvela/alerts/alarms/events", event(2, 7, False, today(10), "рост прекратился"))
        try:
            wait_until(lambda: len(lines()) == 2, 30, "the begin and the end told")
        except AssertionError as e:
            raise AssertionError("%s; told %s; stations %s; the service said:\n%s" % (
                e, lines(), [t["station"] for t in world["dispatcher"].stations()], world["dispatcher"].errors()))
        self.assertEqual([(a["event"], a["input"], a["kind"]) for a in lines()], [("begin", 7, "rise"), ("end", 7, "rise")])
        self.assertIn("Оповещение о тревоге", world["dispatcher"].errors())  # the refused first try
        # After a restart nothing is told again: the next alarm is the next line.
        world["dispatcher"].restart()
        broker.publish("orvela/alerts/alarms/events", event(3, 8, True, today(5), "рост 2,0 °С/сут"))
        wait_until(lambda: len(lines()) >= 3, 30, "the next alarm told")
        self.assertEqual([(a["event"], a["input"]) for a in lines()], [("begin", 7), ("end", 7), ("begin", 8)])

    def test_7_a_wrong_password_is_refused_over_https(self):
        # On an address beyond this computer, never without a password.
        home = tempfile.TemporaryDirectory()
        run = subprocess.run([os.path.join(TOOLS, "orvela-dispatch/orvela-dispatch"), "--listen", "0.0.0.0:%d" % free_port()],
                             env=dict(RUSSIAN, ORVELA_HOME=home.name), capture_output=True, timeout=30)
        home.cleanup()
        self.assertEqual(run.returncode, 1)
        self.assertIn("--set-password", run.stderr.decode())

        # Over HTTPS, with a certificate of its own: the password does not cross in clear.
        guarded = Dispatcher(world["broker"], password="disp\nверный-пароль\n", tls=True)
        trusted = ssl.create_default_context(cafile=guarded.certificate)
        try:
            def status(user, password):
                request = urllib.request.Request(guarded.url + "api/stations")
                if user is not None:
                    pair = base64.b64encode(("%s:%s" % (user, password)).encode()).decode()
                    request.add_header("Authorization", "Basic " + pair)
                try:
                    with urllib.request.urlopen(request, timeout=10, context=trusted) as answer:
                        return answer.status
                except urllib.error.HTTPError as error:
                    return error.code
            self.assertEqual(status(None, None), 401)
            self.assertEqual(status("disp", "неверный"), 401)
            self.assertEqual(status("other", "верный-пароль"), 401)
            self.assertEqual(status("disp", "верный-пароль"), 200)

            browser = world["browser"]
            browser.execute_cdp_cmd("Security.setIgnoreCertificateErrors", {"ignore": True})

            def with_password(password):
                pair = base64.b64encode(("disp:" + password).encode()).decode()
                browser.execute_cdp_cmd("Network.enable", {})
                browser.execute_cdp_cmd("Network.setExtraHTTPHeaders", {"headers": {"Authorization": "Basic " + pair}})
                browser.get(guarded.url)
            with_password("неверный")
            # The browser asks for a password of its own, or shows the refusal: nothing of the page.
            self.assertTrue(page("return document.querySelector('#tiles') === null"))
            with_password("верный-пароль")
            wait_until(lambda: page("return document.querySelector('#link').classList.contains('online')"), 15,
                       "the page with the right password")
            wait_until(lambda: tile("line1"), 20, "its stations")
        finally:
            world["browser"].execute_cdp_cmd("Network.setExtraHTTPHeaders", {"headers": {}})
            world["browser"].execute_cdp_cmd("Security.setIgnoreCertificateErrors", {"ignore": False})
            guarded.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
