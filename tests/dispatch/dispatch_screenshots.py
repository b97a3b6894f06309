"""Pictures of the dispatcher's page as a dispatcher sees it: the overview, a station page with an
input chosen, and the alarm list with one alarm acknowledged, against three stations on their
simulators (one with a faulty line, one stopped).

    dispatch_screenshots.py OUT_FOLDER"""

import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from dispatch_fixture import Broker, Dispatcher, Station, start_browser, stop_browser, wait_until  # noqa: E402


def main(out):
    browser = start_browser()
    broker = Broker()
    stations = [Station(broker, "Элеватор-1"), Station(broker, "Элеватор-2", ["--bad-crc", "0.05", "--seed", "7"]),
                Station(broker, "Склад-3", ["--seed", "3"])]
    dispatcher = Dispatcher(broker)
    try:
        page = browser.execute_script
        browser.get(dispatcher.url)

        def complete():
            listed = dispatcher.stations()
            return len(listed) == 3 and all(s["inputsKnown"] == 192 and s["alarmCount"] and s["controller"] for s in listed)
        wait_until(complete, 60, "every input and alarm of the stations")
        stations[2].kill()
        wait_until(lambda: page("return [...document.querySelectorAll('.tile.dead')].length") == 1, 20, "one stopped")
        browser.save_screenshot(os.path.join(out, "dispatch-overview.png"))

        browser.get(dispatcher.url + "#/station/%D0%AD%D0%BB%D0%B5%D0%B2%D0%B0%D1%82%D0%BE%D1%80-1/5")
        wait_until(lambda: page("return document.querySelector('#readings tbody').rows.length") >= 2, 60, "readings")
        browser.save_screenshot(os.path.join(out, "dispatch-station.png"))

        browser.get(dispatcher.url + "#/alarms")
        wait_until(lambda: page("return document.querySelectorAll('#alarm-list tbody tr').length") > 0, 20, "alarms")
        page("document.querySelector('#ack-name').value = 'Петрова'")
        page("document.querySelector('#alarm-list tbody tr button').click()")
        wait_until(lambda: page("return document.querySelectorAll('#alarm-list tbody tr.acknowledged').length") == 1, 10,
                   "the acknowledgement")
        browser.save_screenshot(os.path.join(out, "dispatch-alarms.png"))
    finally:
        dispatcher.close()
        for station in stations:
            station.close()
        broker.close()
        stop_browser(browser)


if __name__ == "__main__":
    main(sys.argv[1])
