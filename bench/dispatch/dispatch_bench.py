"""The dispatcher at the scale of an enterprise: 100 stations' worth of topics (19,200 retained
inputs, statuses, controllers, alarm lists) published by this script into a mosquitto of its own,
then live traffic at a large station's pace on top (every input again every 24 s, a reading of
each input a minute, heartbeats), while it measures:

- the service's memory (VmRSS) holding it all, and its CPU share under the live traffic;
- how long the overview takes in chromium, from navigation to the 100th tile drawn;
- from a message handed to the broker to the changed value in the open station page (p50, p99).

    /usr/bin/python3 bench/dispatch/dispatch_bench.py [STATIONS (100)] [CHANGES (300)]

Needs the build (ORVELA_TEST_TOOLS, default build/tools) and python3-paho-mqtt."""

import json
import os
import random
import statistics
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tests/dispatch"))
from dispatch_fixture import Broker, Dispatcher, start_browser, stop_browser, wait_until  # noqa: E402

import paho.mqtt.client as mqtt  # noqa: E402

INPUTS = 192


def iso(seconds):
    return time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(seconds)) + ".%03dZ" % int(seconds * 1000 % 1000)


def input_payload(n, temperatures, now):
    state = 3 if n % 25 == 13 else 1 if n % 16 == 0 else 0
    sensors = [{"sensor": i + 1, "state": 1, "stateText": "Норма",
                "temperature": None if state else t, "boundActive": t >= 15} for i, t in enumerate(temperatures)]
    return json.dumps({"schema": 2, "input": n, "state": state, "stateText": ["Норма", "Отключен", "", "Нет связи"][state],
                       "battery": 80, "sensors": sensors, "bound": 15, "periodMinutes": 5, "enabled": state != 1,
                       "plantNumber": 20000 + n, "softVersion": 33, "crc": "5E 8B", "unit": "°C", "time": iso(now)})


def reading_payload(station, seq, n, temperatures, now):
    return json.dumps({"schema": 2, "station": station, "epoch": "bench-" + station, "seq": seq, "input": n,
                       "time": iso(int(now)), "state": 0, "battery": 80, "bound": 15, "temperatures": temperatures,
                       "sensorStates": [1] * 6, "unit": "°C"})


def status_payload(station, now):
    return json.dumps({"schema": 2, "station": station, "status": "online", "time": iso(now), "period": 10,
                       "poll": {"time": iso(now), "state": 1, "stateText": "Норма"}, "lastReading": iso(now),
                       "dropped": 0})


def alarms_payload(now):
    alarms = [{"input": n, "sensor": 0, "kind": "input", "since": iso(now - 600),
               "text": "Вход %d (№ %d) Состояние обмена: Нет связи" % (n, 20000 + n)} for n in range(13, 193, 25)]
    return json.dumps({"schema": 2, "time": iso(now - 600), "count": len(alarms), "alarms": alarms})


class Publisher:
    def __init__(self, port, name):
        self.client = mqtt.Client(client_id=name)
        self.client.max_inflight_messages_set(1000)
        self.client.max_queued_messages_set(0)
        self.client.connect("127.0.0.1", port)
        self.client.loop_start()

    def publish(self, topic, payload, retain=False):
        return self.client.publish(topic, payload, qos=1, retain=retain)

    def close(self):
        self.client.loop_stop()
        self.client.disconnect()


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main(stations=100, changes=300):
    names = ["st%03d" % i for i in range(stations)]
    random.seed(1)
    temps = {(s, n): [round(random.uniform(4, 22) * 16) / 16 for _ in range(6)] for s in names for n in range(1, INPUTS + 1)}
    broker = Broker()
    fleet = Publisher(broker.port, "bench-fleet")
    now = time.time()
    started = time.monotonic()
    last = None
    for s in names:
        fleet.publish("orvela/%s/status" % s, status_payload(s, now), True)
        fleet.publish("orvela/%s/controller" % s, json.dumps({"schema": 2, "address": 1, "state": 1, "stateText": "Норма",
                                                                "error": 0, "time": iso(now)}), True)
        fleet.publish("orvela/%s/alarms/active" % s, alarms_payload(now), True)
        for n in range(1, INPUTS + 1):
            last = fleet.publish("orvela/%s/input/%d" % (s, n), input_payload(n, temps[(s, n)], now), True)
    last.wait_for_publish()
    print("published %d retained topics in %.1f s" % (stations * (INPUTS + 3), time.monotonic() - started))

    started = time.monotonic()
    dispatcher = Dispatcher(broker)
    pid = dispatcher.process.pid

    def loaded():
        listed = dispatcher.stations()
        return len(listed) == stations and all(s["inputsKnown"] == INPUTS for s in listed)
    wait_until(loaded, 120, "every station's inputs")
    print("dispatcher holds %d stations x %d inputs after %.2f s; VmRSS %.1f MB"
          % (stations, INPUTS, time.monotonic() - started, rss_mb(pid)))

    # Live traffic: each station's inputs again every 24 s (a poll round), a reading of each input
    # a minute, a heartbeat every 10 s.
    stop = threading.Event()
    live = Publisher(broker.port, "bench-live")
    sent = {"messages": 0}

    def traffic():
        seq = {s: 0 for s in names}
        tick = 0
        while not stop.is_set():
            t = time.time()
            for s in names:
                for n in range(1 + tick % 24 * 8, 1 + tick % 24 * 8 + 8):
                    live.publish("orvela/%s/input/%d" % (s, n), input_payload(n, temps[(s, n)], t), True)
                    if (n + tick) % 3 == 0:
                        seq[s] += 1
                        live.publish("orvela/%s/readings" % s, reading_payload(s, seq[s], n, temps[(s, n)], t))
                        sent["messages"] += 1
                    sent["messages"] += 1
                if tick % 10 == 0:
                    live.publish("orvela/%s/status" % s, status_payload(s, t), True)
                    sent["messages"] += 1
            tick += 1
            stop.wait(max(0.0, 1.0 - (time.time() - t)))
    background = threading.Thread(target=traffic, daemon=True)
    background.start()

    browser = start_browser()
    try:
        # The overview: from navigation to the last tile drawn, five fresh loads.
        browser.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """
            document.addEventListener('DOMContentLoaded', () => {
              const box = document.getElementById('tiles');
              if (!box) return;
              new MutationObserver(() => {
                if (box.childElementCount >= %d && !window.benchTilesAt) window.benchTilesAt = performance.now();
              }).observe(box, {childList: true});
            });""" % stations})
        loads = []
        for _ in range(5):
            browser.get("about:blank")
            browser.get(dispatcher.url)
            loads.append(wait_until(lambda: browser.execute_script("return window.benchTilesAt"), 30, "the tiles"))
        print("overview with %d tiles: %s ms (median %.0f ms)" % (stations, ", ".join("%.0f" % x for x in loads),
                                                                  statistics.median(loads)))

        # A change at the broker to the value in the open page.
        station = names[len(names) // 2]
        browser.get(dispatcher.url + "#/station/" + station)
        wait_until(lambda: browser.execute_script("return document.querySelector('#grid tbody').rows.length") == INPUTS
                   and browser.execute_script("return document.querySelector('#grid tbody').rows[191].cells[1].textContent"),
                   30, "the station page")
        browser.execute_script("""
            window.benchSeen = {};
            new MutationObserver(records => {
              const at = Date.now();
              for (const r of records) {
                const td = r.target.nodeType === 1 ? r.target : r.target.parentElement;
                if (td && td.cellIndex === 6) {
                  const key = td.parentElement.dataset.input + ' ' + td.textContent;
                  if (!(key in window.benchSeen)) window.benchSeen[key] = at;
                }
              }
            }).observe(document.querySelector('#grid tbody'), {subtree: true, childList: true, characterData: true});""")
        probe = Publisher(broker.port, "bench-probe")
        published = {}
        cpu_before, wall_before, sent_before = cpu_seconds(pid), time.monotonic(), sent["messages"]
        # Inputs in exchange only: the others show no temperature.
        answering = [n for n in range(1, INPUTS + 1) if n % 25 != 13 and n % 16 != 0]
        for k in range(changes):
            n = answering[(k * 7) % len(answering)]
            value = 30 + k * 0.5
            text = ("%.1f" % value).replace(".", ",")
            t = temps[(station, n)][:]
            t[0] = value
            published[(n, text)] = time.time() * 1000
            probe.publish("orvela/%s/input/%d" % (station, n), input_payload(n, t, time.time()), True)
            time.sleep(0.05)
        # The last one shown, all are: a value the live traffic replaced within the same push never is.
        last_key = "%d %s" % max(published, key=published.get)
        wait_until(lambda: last_key in browser.execute_script("return window.benchSeen"), 30, "the last change shown")
        wall = time.monotonic() - wall_before
        cpu = cpu_seconds(pid) - cpu_before
        seen = browser.execute_script("return window.benchSeen")
        latencies = sorted(seen["%d %s" % key] - at for key, at in published.items() if "%d %s" % key in seen)
        p99 = latencies[min(len(latencies) - 1, int(len(latencies) * 0.99))]
        print("broker to page, %d of %d changes shown amid %.0f messages/s: p50 %.0f ms, p99 %.0f ms, max %.0f ms"
              % (len(latencies), changes, (sent["messages"] - sent_before) / wall, statistics.median(latencies), p99,
                 latencies[-1]))
        print("dispatcher CPU under that traffic: %.0f %% of one core; VmRSS %.1f MB with two pages served"
              % (100 * cpu / wall, rss_mb(pid)))
        probe.close()
    finally:
        stop.set()
        background.join()
        live.close()
        fleet.close()
        stop_browser(browser)
        dispatcher.close()
        broker.close()


if __name__ == "__main__":
    main(*[int(a) for a in sys.argv[1:3]])
