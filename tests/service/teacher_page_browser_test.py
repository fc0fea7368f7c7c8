#!/usr/bin/python3
"""The teacher's page in a real headless browser against the real service.

usage: teacher_page_browser_test.py KA_TESMAR_SERVICE_BINARY
Exits 77 (skipped) when chromium, its driver or selenium is missing.
"""
import http.client
import json
import os
import re
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading
import urllib.parse

SKIP = 77


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(SKIP)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service as ChromeService
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
    from selenium.common.exceptions import NoSuchElementException, StaleElementReferenceException
except ImportError:
    skip("python3-selenium is not installed (scripts/install-deps.sh installs it)")
if not shutil.which("chromium") or not shutil.which("chromedriver"):
    skip("chromium or chromium-driver is not installed (scripts/install-deps.sh installs them)")

SERVICE = sys.argv[1]
failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)
    return condition


def run(*arguments):
    return subprocess.run([SERVICE, *arguments], capture_output=True, text=True, check=True).stdout


class Student:
    """The student application's requests, byte for byte as it sends them."""

    def __init__(self, port, certificate):
        self.port = port
        self.context = ssl.create_default_context(cafile=certificate)

    def request(self, method, path, body=None, headers={}):
        connection = http.client.HTTPSConnection("127.0.0.1", self.port, context=self.context,
                                                 timeout=10)
        connection.request(method, path, body=body, headers=headers)
        data = json.loads(connection.getresponse().read())
        connection.close()
        return data

    def login(self, name, code):
        body = "student_name=%s&class_code=%s&device_info=Linux%%20Debian%%2012" % (
            urllib.parse.quote(name, safe=""), code.upper()) + "&device_id=a4b1c2d3e4f5"
        return self.request("POST", "/Vexlo/api/class-login.php", body.encode(),
                            {"Content-Type": "application/x-www-form-urlencoded"})

    def status(self, token):
        return self.request("GET", "/Vexlo/api/class-status.php?token=" + token)

    def report(self, token, state, error=None):
        """What the application tells the service after a privileged run and at quit."""
        body = {"token": token, "state": state, "hosts": 18, "rules": 40}
        if error is not None:
            body["error"] = error
        return self.request("POST", "/Vexlo/api/class-report.php", json.dumps(body).encode(),
                            {"Content-Type": "application/json"})


class Service:
    """ka-tesmar-service on loopback; its request log is read away as it comes."""

    def __init__(self, work, database, port=0):
        self.process = subprocess.Popen(
            [SERVICE, "serve", "--listen", "127.0.0.1:%d" % port, "--database", database,
             "--tls-dir", os.path.join(work, "tls")],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.port = None
        for line in self.process.stdout:
            match = re.match(r"Listening on https://127\.0\.0\.1:(\d+)/", line)
            if match:
                self.port = int(match.group(1))
                break
        threading.Thread(target=self.process.stdout.read, daemon=True).start()

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def browser():
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     "--disable-gpu", "--no-first-run"):
        options.add_argument(argument)
    options.accept_insecure_certs = True  # the test's own self-signed certificate
    return webdriver.Chrome(service=ChromeService(executable_path=shutil.which("chromedriver")),
                            options=options)


# How long a wait for the page may take before the test fails: generous, so
# that only a page that never gets there fails, not a busy machine.
PATIENCE = 60


def waits(driver, condition):
    """True once `condition` holds, false when it never does."""
    try:
        return bool(WebDriverWait(driver, PATIENCE).until(condition))
    except Exception:
        return False


def click(driver, css):
    """Clicks the element once it is there; the lists are drawn anew every
    2 s, so an element found just before a refresh is looked up again."""
    def clicked(d):
        d.find_element(By.CSS_SELECTOR, css).click()
        return True
    WebDriverWait(driver, PATIENCE, ignored_exceptions=(
        NoSuchElementException, StaleElementReferenceException)).until(clicked)


def visible(driver, element_id):
    WebDriverWait(driver, PATIENCE).until(lambda d: d.find_element(By.ID, element_id).is_displayed())
    return driver.find_element(By.ID, element_id)


def focused(driver):
    return driver.execute_script("return document.activeElement.id")


def log_in(driver, url, name, one_time, new_password):
    driver.get(url)
    check(waits(driver, lambda d: focused(d) == "login-name"),
          "the login view puts the focus on Naam")
    visible(driver, "login-name").send_keys(name)
    driver.find_element(By.ID, "login-password").send_keys(one_time)
    driver.find_element(By.ID, "login-submit").click()
    visible(driver, "new-password").send_keys(new_password)
    driver.find_element(By.ID, "password-submit").click()
    visible(driver, "new-class-name")


def fetch(driver, method, path, body=None, csrf=True):
    """A request from inside the page, with or without the page's CSRF token."""
    return driver.execute_async_script("""
        const [method, path, body, csrf, done] = arguments;
        const headers = {"Content-Type": "application/json"};
        if (csrf) headers["X-CSRF-Token"] = state.csrf;
        fetch(path, {method, headers, body: body === null ? undefined : JSON.stringify(body)})
          .then(async r => done({status: r.status, body: await r.json()}));
    """, method, path, body, csrf)


def rows(driver):
    """(name, state, status text) of each row of the student list, top to bottom."""
    return driver.execute_script("""
        return [...document.querySelectorAll("#students tr")].map(row =>
            [row.dataset.name, row.dataset.state, row.querySelector(".status").textContent]);""")


def message(driver):
    return driver.find_element(By.ID, "message").text


def lesson(anna, url, student, restart, service, password):
    """A lesson of four computers, its log, a service restart and an expired login.
    Returns the service that runs at the end."""
    anna.find_element(By.ID, "back").click()
    visible(anna, "new-class-name").send_keys("4C")
    anna.find_element(By.ID, "new-class-submit").click()
    code = visible(anna, "class-code").text
    check(waits(anna, lambda d: d.current_url.endswith("#klas/" + code)),
          "the open class is in the address: %s" % anna.current_url)
    tokens = {name: student.login(name, code)["session_token"]
              for name in ("Jan", "Eva", "Piet", "=Kees")}
    anna.find_element(By.ID, "block-switch").click()
    waits(anna, lambda d: d.find_element(By.ID, "block-switch")
          .get_attribute("aria-checked") == "true")
    for name in tokens:
        student.status(tokens[name])
    replies = [student.report(tokens["Jan"], "blocked"),
               student.report(tokens["Eva"], "failed", "Kon de bewaker niet installeren"),
               student.report(tokens["Piet"], "quit")]
    check(all(reply.get("success") for reply in replies), "the service takes the reports")

    def polling(until):
        """Jan and Eva keep polling while the page gets there; =Kees has stopped."""
        def done(driver):
            for name in ("Jan", "Eva"):
                student.status(tokens[name])
            return until(driver)
        return waits(anna, done)

    expected = [("Eva", "failed", r"Blokkering mislukt: Kon de bewaker niet installeren \(\d\d:\d\d\)"),
                ("Piet", "departed", r"Vertrokken tijdens blokkering om \d\d:\d\d"),
                ("=Kees", "no_contact", r"Geen contact sinds \d\d:\d\d"),
                ("Jan", "blocked", r"Geblokkeerd sinds \d\d:\d\d")]

    def as_expected(driver):
        shown = rows(driver)
        return len(shown) == len(expected) and all(
            name == row[0] and state == row[1] and re.fullmatch(text, row[2])
            for (name, state, text), row in zip(expected, shown))
    check(polling(as_expected), "each computer shows its state and its time, those that need "
          "attention first: %s" % rows(anna))
    summary = anna.find_element(By.ID, "summary")
    check(summary.text == "1 van 4 computers geblokkeerd" and
          summary.get_attribute("aria-live") == "polite",
          "a polite summary above the list: %r" % summary.text)

    # The live region changes with the summary only, not with each refresh.
    anna.execute_script("""
        window.summaryChanges = 0;
        new MutationObserver(() => window.summaryChanges++).observe(
            document.getElementById("summary"), {childList: true, characterData: true, subtree: true});""")
    refreshed = anna.execute_script("return document.getElementById('students').firstChild")
    polling(lambda d: d.execute_script("return document.getElementById('students').firstChild")
            != refreshed)
    check(anna.execute_script("return window.summaryChanges") == 0,
          "a refresh that changes nothing leaves the summary alone")
    student.report(tokens["Eva"], "blocked")
    check(polling(lambda d: d.find_element(By.ID, "summary").text ==
                  "2 van 4 computers geblokkeerd"), "the summary follows the computers")
    check(anna.execute_script("return window.summaryChanges") == 1, "one change, one announcement")

    # The lesson log, on the page and as a file a spreadsheet reads as text.
    check(polling(lambda d: "Jan: Geblokkeerd (18 namen, 40 adressen)" in
                  d.find_element(By.ID, "lesson-log").text),
          "the day's log on the page: %s" % anna.find_element(By.ID, "lesson-log").text)
    csv = anna.execute_async_script("""
        const done = arguments[0];
        fetch(document.getElementById("log-csv").href).then(async r =>
            done([r.headers.get("Content-Disposition"), await r.text()]));""")
    check(csv[0].startswith('attachment; filename="logboek-%s-' % code) and
          csv[1].startswith("Datum;Tijd;Leerling;Gebeurtenis\r\n") and
          '"Blokkering aan door anna"' in csv[1] and '"\'=Kees";"Aangemeld"' in csv[1],
          "the CSV download holds the day, a pupil's formula as text: %s" % csv)

    # Adding or removing a name says what changed.
    anna.find_element(By.ID, "domain-add").send_keys("Ai.Example.org")
    anna.find_element(By.ID, "domain-submit").click()
    check(waits(anna, lambda d: message(d) == "ai.example.org staat nu in de lijst."),
          "adding a name says so: %r" % message(anna))
    click(anna, "#domains button[aria-label='Verwijder ai.example.org']")
    check(waits(anna, lambda d: message(d) == "ai.example.org is uit de lijst gehaald."),
          "removing a name says so: %r" % message(anna))

    # A reload keeps the class; a restart of the service: its error goes once it answers.
    anna.refresh()
    check(waits(anna, lambda d: d.find_element(By.ID, "class-code").text == code),
          "a reload opens the class of the address")
    service.stop()
    check(waits(anna, lambda d: message(d) == "De klasdienst is niet bereikbaar"),
          "the page says the service is gone")
    service = restart()
    check(service.port is not None, "the service starts again")
    check(polling(lambda d: message(d) == "" and len(rows(d)) == 4),
          "the error goes once the service answers again: %r" % message(anna))

    # An expired login says so, and logging in again opens the class of the address.
    fetch(anna, "POST", "api/logout", {})
    check(waits(anna, lambda d: message(d) == "Je sessie is verlopen; meld je opnieuw aan"),
          "an expired login says so: %r" % message(anna))
    check(focused(anna) == "login-name", "the focus is on Naam")
    anna.find_element(By.ID, "login-name").clear()
    anna.find_element(By.ID, "login-name").send_keys("anna")
    anna.find_element(By.ID, "login-password").send_keys(password)
    anna.find_element(By.ID, "login-submit").click()
    check(waits(anna, lambda d: d.find_element(By.ID, "class-code").text == code and
                message(d) == ""), "logged in again, the class is open and the message gone")

    # Afmelden: the next teacher finds the name field empty, focused, and no class.
    anna.find_element(By.ID, "logout").click()
    check(waits(anna, lambda d: message(d) == "Je bent afgemeld."), "logged out")
    check(focused(anna) == "login-name" and
          anna.find_element(By.ID, "login-name").get_attribute("value") == "" and
          "#" not in anna.current_url,
          "after Afmelden Naam is empty and focused, the class is out of the address")
    return service


def main():
    work = tempfile.mkdtemp(prefix="kt-teacher-page-")
    service = None
    drivers = []
    try:
        database = os.path.join(work, "service.db")
        passwords = {}
        for name, display in (("anna", ["--display", "Mevr. Claes"]), ("bert", [])):
            output = run("teacher", "add", name, *display, "--database", database)
            passwords[name] = re.search(r"one-time password: (\S+)", output).group(1)
        service = Service(work, database)
        port = service.port
        if not check(port is not None, "the service starts"):
            return
        url = "https://127.0.0.1:%d/leerkracht/" % port
        student = Student(port, os.path.join(work, "tls", "cert.pem"))

        anna = browser()
        drivers.append(anna)
        log_in(anna, url, "anna", passwords["anna"], "anna heeft een lang wachtwoord")
        anna.find_element(By.ID, "new-class-name").send_keys("3B Wiskunde")
        anna.find_element(By.ID, "new-class-school").send_keys("Sint-Jan")
        anna.find_element(By.ID, "new-class-submit").click()
        code = visible(anna, "class-code").text
        check(re.fullmatch(r"[ACDEFGHJKMNPQRTUVWXY34679]{6}", code) is not None,
              "the page shows the new class code %r" % code)

        check(anna.find_element(By.ID, "who-name").text == "Mevr. Claes",
              "the page greets the teacher by the display name")
        for typed, reason in (("localhost", "de computer van de leerling zelf"),
                              ("x", "geen volledige naam")):
            anna.find_element(By.ID, "domain-add").send_keys(typed)
            anna.find_element(By.ID, "domain-submit").click()
            check(waits(anna, lambda d: reason in d.find_element(By.ID, "message").text),
                  "the page says why %r is not blocked" % typed)
            anna.find_element(By.ID, "domain-add").clear()
        refused = fetch(anna, "POST", "api/classes/" + code + "/domains", {"add": "127.0.0.1"})
        check(refused["status"] == 400 and "een adres" in refused["body"]["error"],
              "the JSON interface refuses an address as a name: %s" % refused)

        joined = student.login("Jan Peeters", code.lower())
        token = joined.get("session_token", "")
        check(joined.get("success") is True and token, "a student joins with the code")
        check(joined.get("class_info", {}).get("teacher_name") == "Mevr. Claes" and
              "anna" not in json.dumps(joined),
              "the student sees the display name, not the login name: %s" % joined)
        check(student.status(token).get("is_blocked") is False, "blocking starts off")
        check(waits(anna, lambda d: any(
            row.get_attribute("data-name") == "Jan Peeters" and
            row.find_element(By.CSS_SELECTOR, ".status").text == "Vrij"
            for row in d.find_elements(By.CSS_SELECTOR, "#students tr"))),
            "the page shows the student's computer free")

        anna.find_element(By.ID, "block-switch").click()
        waits(anna, lambda d: d.find_element(By.ID, "block-switch")
              .get_attribute("aria-checked") == "true")
        check(student.status(token).get("is_blocked") is True,
              "the switch on makes the next status reply blocked")

        # A plain form post, as another site would send it: no CSRF token.
        anna.execute_script("""
            const form = Object.assign(document.createElement("form"),
                {method: "post", action: "api/classes/" + arguments[0] + "/blocked"});
            form.appendChild(Object.assign(document.createElement("input"),
                {name: "is_blocked", value: "false"}));
            document.body.appendChild(form);
            form.submit();""", code)
        waits(anna, lambda d: "CSRF" in d.page_source)
        check(student.status(token).get("is_blocked") is True,
              "a form without the CSRF token changes nothing")

        bert = browser()
        drivers.append(bert)
        log_in(bert, url, "bert", passwords["bert"], "bert heeft ook een wachtwoord")
        visible(bert, "no-classes")  # the class list has been fetched, and it is empty
        check(not bert.find_elements(By.CSS_SELECTOR, "#class-list button"),
              "a second teacher's list does not show the class")
        seen = fetch(bert, "GET", "api/classes/" + code)
        switched = fetch(bert, "POST", "api/classes/" + code + "/blocked", {"is_blocked": False})
        check(seen["status"] == 404 and switched["status"] == 404,
              "a second teacher can neither see nor switch the class (%d, %d)"
              % (seen["status"], switched["status"]))
        check(student.status(token).get("is_blocked") is True, "the class is still blocked")

        anna.get(url)
        visible(anna, "display-name").clear()
        anna.find_element(By.ID, "display-name").send_keys("Mevr. Claes-Peeters")
        anna.find_element(By.ID, "display-name-submit").click()
        waits(anna, lambda d: "Leerlingen zien nu" in d.find_element(By.ID, "message").text)
        check(student.status(token).get("class_info", {}).get("teacher_name") ==
              "Mevr. Claes-Peeters", "a display name set on the page reaches the students")
        click(anna, "#class-list button[data-code='%s']" % code)
        click(anna, "#students .remove-student")
        anna.switch_to.alert.accept()
        waits(anna, lambda d: not d.find_elements(By.CSS_SELECTOR, "#students tr"))
        reply = student.status(token)
        check(reply.get("success") is False,
              "removing the student ends the session at the next reply: %s" % reply)

        service = lesson(anna, url, student, lambda: Service(work, database, port), service,
                         "anna heeft een lang wachtwoord")
    finally:
        for driver in drivers:
            driver.quit()
        if service:
            service.stop()
        shutil.rmtree(work, ignore_errors=True)


main()
if failures:
    print("%d check(s) failed" % len(failures))
    sys.exit(1)
