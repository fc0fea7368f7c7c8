#!/usr/bin/python3
"""The teacher's page in a real headless browser against the real service: the
teacher starts on the service's own TLS listener; the lesson, with a restart of
the service, goes through HAProxy as a school's board runs it.

usage: teacher_page_browser_test.py KA_TESMAR_SERVICE_BINARY HAPROXY_EXAMPLE
Exits 77 (skipped) when chromium, its driver, selenium or haproxy is missing.
"""
import http.client
import json
import os
import re
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse


def skip(reason):
    print("SKIPPED: %s is not installed (scripts/install-deps.sh installs it)" % reason)
    sys.exit(77)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service as ChromeService
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
    from selenium.common.exceptions import NoSuchElementException, StaleElementReferenceException
except ImportError:
    skip("python3-selenium")
for program, package in (("chromium", "chromium"), ("chromedriver", "chromium-driver"),
                         ("haproxy", "haproxy")):
    if not shutil.which(program):
        skip(package)

SERVICE, EXAMPLE = sys.argv[1:3]
# How long a wait for the page may take before the test fails: generous, so
# that only a page that never gets there fails, not a busy machine.
PATIENCE = 60
failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)
    return condition


class Student:
    """The student application's requests, byte for byte as it sends them."""

    def __init__(self, port, work):
        self.port = port
        self.context = ssl.create_default_context(cafile=os.path.join(work, "tls", "cert.pem"))

    def request(self, path, body=None, content_type="application/json"):
        connection = http.client.HTTPSConnection("127.0.0.1", self.port, context=self.context,
                                                 timeout=10)
        try:
            connection.request("GET" if body is None else "POST", "/Vexlo/api/" + path,
                               body=body,
                               headers={} if body is None else {"Content-Type": content_type})
            return json.loads(connection.getresponse().read())
        except (OSError, http.client.HTTPException, ValueError):
            return {}  # the front closes while no instance is up: as the application does
        finally:
            connection.close()

    def login(self, name, code):
        body = "student_name=%s&class_code=%s&device_info=Linux%%20Debian%%2012" % (
            urllib.parse.quote(name, safe=""), code.upper()) + "&device_id=a4b1c2d3e4f5"
        return self.request("class-login.php", body.encode(), "application/x-www-form-urlencoded")

    def status(self, token):
        return self.request("class-status.php?token=" + token)

    def report(self, token, state, **error):
        """What the application tells the service after a privileged run and at quit."""
        body = dict(token=token, state=state, hosts=18, rules=40, **error)
        return self.request("class-report.php", json.dumps(body).encode())


class Service:
    """ka-tesmar-service on loopback, with a plain listener for a front and an
    admin address for its health checks; its request log is read away as it comes."""

    def __init__(self, work, database, port=0, plain_port=0, admin_port=0):
        self.process = subprocess.Popen(
            [SERVICE, "serve", "--listen", "127.0.0.1:%d" % port, "--database", database,
             "--tls-dir", os.path.join(work, "tls"), "--listen-plain",
             "127.0.0.1:%d" % plain_port, "--admin-listen", "127.0.0.1:%d" % admin_port,
             "--trusted-front", "127.0.0.1"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.port = self.plain_port = self.admin_port = None
        for line in self.process.stdout:
            plain = re.match(r"Behind a front on http://127\.0\.0\.1:(\d+)/", line)
            self.plain_port = int(plain.group(1)) if plain else self.plain_port
            admin = re.match(r"Health and metrics on http://127\.0\.0\.1:(\d+)/", line)
            self.admin_port = int(admin.group(1)) if admin else self.admin_port
            match = re.match(r"Listening on https://127\.0\.0\.1:(\d+)/", line)
            if match:
                self.port = int(match.group(1))
                break
        threading.Thread(target=self.process.stdout.read, daemon=True).start()

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def start_haproxy(work, service):
    """The real HAProxy with the configuration the package ships, in front of
    the one instance's ports, with the test's certificate; its port."""
    pem = os.path.join(work, "school.pem")
    with open(pem, "w") as out:
        out.write("".join(open(os.path.join(work, "tls", name)).read()
                          for name in ("cert.pem", "key.pem")))
    with socket.create_server(("127.0.0.1", 0)) as probe:
        port = probe.getsockname()[1]
    config = open(EXAMPLE).read().replace("bind :443", "bind 127.0.0.1:%d" % port).replace(
        "/etc/haproxy/school.pem", pem).replace(
        "127.0.0.1:8081 port 9081", "127.0.0.1:%d port %d" % (service.plain_port, service.admin_port))
    with open(os.path.join(work, "haproxy.cfg"), "w") as out:  # within a test's open-file limit
        out.write(re.sub(r"\n *server instance2 .*", "", config.replace("maxconn 60000",
                                                                         "maxconn 1000")))
    front = subprocess.Popen(["haproxy", "-db", "-f", os.path.join(work, "haproxy.cfg")],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(PATIENCE * 10):  # until it listens
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.1)
    return front, port


class Page(webdriver.Chrome):
    """One teacher's browser on the page."""

    def __init__(self):
        options = webdriver.ChromeOptions()
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                         "--disable-gpu", "--no-first-run"):
            options.add_argument(argument)
        options.accept_insecure_certs = True  # the test's own self-signed certificate
        super().__init__(service=ChromeService(executable_path=shutil.which("chromedriver")),
                         options=options)

    def waits(self, condition):
        """True once `condition` (of the page) holds, false when it never does."""
        try:
            return bool(WebDriverWait(self, PATIENCE).until(lambda d: condition()))
        except Exception:
            return False

    def sees(self, condition, what, shown=lambda: ""):
        """Checks that `condition` comes to hold; `shown` tells what there was instead."""
        return check(self.waits(condition), what + shown())

    def click(self, css):
        """Clicks the element once it is there; the lists are drawn anew every
        2 s, so an element found just before a refresh is looked up again."""
        WebDriverWait(self, PATIENCE, ignored_exceptions=(
            NoSuchElementException, StaleElementReferenceException)).until(
                lambda d: d.find_element(By.CSS_SELECTOR, css).click() or True)

    def find(self, element_id):
        return self.find_element(By.ID, element_id)

    def text(self, element_id):
        return self.find(element_id).text

    def type(self, element_id, text, clear=False, submit=None):
        WebDriverWait(self, PATIENCE).until(lambda d: self.find(element_id).is_displayed())
        if clear:
            self.find(element_id).clear()
        self.find(element_id).send_keys(text)
        if submit:
            self.find(submit).click()

    def says(self, text, what):
        return self.sees(lambda: self.text("message") == text, what,
                         lambda: ": %r" % self.text("message"))

    def switch_on(self):
        self.find("block-switch").click()
        self.waits(lambda: self.find("block-switch").get_attribute("aria-checked") == "true")

    def focused(self):
        return self.execute_script("return document.activeElement.id")

    def rows(self):
        """(name, state, status text) of each row of the student list, top to bottom."""
        return self.execute_script("""
            return [...document.querySelectorAll("#students tr")].map(row =>
                [row.dataset.name, row.dataset.state, row.querySelector(".status").textContent]);""")

    def new_class(self, name, school=""):
        self.type("new-class-name", name)
        self.type("new-class-school", school, submit="new-class-submit")
        self.sees(lambda: self.find("class-code").is_displayed(), "the new class opens")
        return self.text("class-code")


def main():
    work = tempfile.mkdtemp(prefix="kt-teacher-page-")
    # The browser leaves a folder in the temporary folder: this one goes with the rest.
    os.environ["TMPDIR"] = work
    service = anna = front = None
    try:
        database = os.path.join(work, "service.db")
        output = subprocess.run([SERVICE, "teacher", "add", "anna", "--display", "Mevr. Claes",
                                 "--database", database], capture_output=True, text=True).stdout
        one_time = re.search(r"one-time password: (\S+)", output).group(1)
        service = Service(work, database)
        if not check(service.port is not None, "the service starts"):
            return
        url = "https://127.0.0.1:%d/leerkracht/" % service.port
        student = Student(service.port, work)
        anna = Page()
        anna.get(url)
        anna.sees(lambda: anna.focused() == "login-name", "the login view puts the focus on Naam")
        anna.type("login-name", "anna")
        anna.type("login-password", one_time, submit="login-submit")
        anna.type("new-password", "anna heeft een lang wachtwoord", submit="password-submit")
        anna.sees(lambda: anna.find("no-classes").is_displayed(),
                  "a new teacher is told there is no class")
        code = anna.new_class("3B Wiskunde", "Sint-Jan")
        check(anna.text("who-name") == "Mevr. Claes",
              "the page greets the teacher by the display name")
        anna.type("domain-add", "localhost", submit="domain-submit")
        anna.sees(lambda: "de computer van de leerling zelf" in anna.text("message"),
                  "the page says why a name is not blocked")
        token = student.login("Jan Peeters", code.lower()).get("session_token", "")
        anna.sees(lambda: ["Jan Peeters", "free", "Vrij"] in anna.rows(),
                  "the page shows the student's computer free")
        anna.switch_on()
        check(student.status(token).get("is_blocked") is True,
              "the switch on makes the next status reply blocked")
        anna.get(url)
        anna.type("display-name", "Mevr. Claes-Peeters", clear=True, submit="display-name-submit")
        anna.waits(lambda: "Leerlingen zien nu" in anna.text("message"))
        check(student.status(token).get("class_info", {}).get("teacher_name") ==
              "Mevr. Claes-Peeters", "a display name set on the page reaches the students")
        anna.click("#class-list button[data-code='%s']" % code)
        anna.click("#students .remove-student")
        anna.switch_to.alert.accept()
        anna.waits(lambda: not anna.rows())
        reply = student.status(token)
        check(reply.get("success") is False,
              "removing the student ends the session at the next reply: %s" % reply)
        # The rest through HAProxy: a lesson of four computers, its log, a restart of the
        # service behind it on the same ports and an expired login.
        front, front_port = start_haproxy(work, service)
        anna.get("https://127.0.0.1:%d/leerkracht/#klas/%s" % (front_port, code))
        student = Student(front_port, work)
        anna.click("#back")
        code = anna.new_class("4C")
        anna.sees(lambda: anna.current_url.endswith("#klas/" + code),
                  "the open class is in the address", lambda: ": " + anna.current_url)
        tokens = {name: student.login(name, code)["session_token"]
                  for name in ("Jan", "Eva", "Piet", "=Kees")}
        anna.switch_on()
        for name in tokens:
            student.status(tokens[name])
        replies = [student.report(tokens["Jan"], "blocked"),
                   student.report(tokens["Eva"], "failed", error="Kon de bewaker niet installeren"),
                   student.report(tokens["Piet"], "quit")]
        check(all(reply.get("success") for reply in replies), "the service takes the reports")
        def polling(until, what, shown=lambda: ""):  # Jan and Eva poll meanwhile; =Kees has stopped
            return anna.sees(lambda: [student.status(tokens[name]) for name in ("Jan", "Eva")]
                             and until(), what, shown)
        expected = [("Eva", "failed",
                     r"Blokkering mislukt: Kon de bewaker niet installeren \(\d\d:\d\d\)"),
                    ("Piet", "departed", r"Vertrokken tijdens blokkering om \d\d:\d\d"),
                    ("=Kees", "no_contact", r"Geen contact sinds \d\d:\d\d"),
                    ("Jan", "blocked", r"Geblokkeerd sinds \d\d:\d\d")]
        polling(lambda: len(anna.rows()) == len(expected) and all(
            name == row[0] and state == row[1] and re.fullmatch(text, row[2])
            for (name, state, text), row in zip(expected, anna.rows())),
            "each computer shows its state and its time, those that need attention first",
            lambda: ": %s" % anna.rows())
        summary = anna.find("summary")
        check(summary.text == "1 van 4 computers geblokkeerd" and
              summary.get_attribute("aria-live") == "polite",
              "a polite summary above the list: %r" % summary.text)
        # The live region changes with the summary only, not with each refresh.
        anna.execute_script("""
            window.summaryChanges = 0;
            new MutationObserver(() => window.summaryChanges++).observe(
                document.getElementById("summary"), {childList: true, characterData: true, subtree: true});""")
        first_row = "return document.getElementById('students').firstChild"
        refreshed = anna.execute_script(first_row)
        polling(lambda: anna.execute_script(first_row) != refreshed, "the list is drawn anew")
        check(anna.execute_script("return window.summaryChanges") == 0,
              "a refresh that changes nothing leaves the summary alone")
        student.report(tokens["Eva"], "blocked")
        polling(lambda: anna.text("summary") == "2 van 4 computers geblokkeerd",
                "the summary follows the computers")
        check(anna.execute_script("return window.summaryChanges") == 1,
              "one change, one announcement")
        # The lesson log, on the page and as a file a spreadsheet reads as text.
        polling(lambda: "Jan: Geblokkeerd (18 namen, 40 adressen)" in anna.text("lesson-log"),
                "the day's log on the page", lambda: ": %s" % anna.text("lesson-log"))
        csv = anna.execute_async_script("""
            const done = arguments[0];
            fetch(document.getElementById("log-csv").href).then(async r =>
                done([r.headers.get("Content-Disposition"), await r.text()]));""")
        check(csv[0].startswith('attachment; filename="logboek-%s-' % code) and
              '"Blokkering aan door anna"' in csv[1],
              "the page's CSV link downloads the day's log: %s" % csv)
        # Adding or removing a name says what changed.
        anna.type("domain-add", "Ai.Example.org", submit="domain-submit")
        anna.says("ai.example.org staat nu in de lijst.", "adding a name says so")
        anna.click("#domains button[aria-label='Verwijder ai.example.org']")
        anna.says("ai.example.org is uit de lijst gehaald.", "removing a name says so")
        # A reload keeps the class; a restart of the service: its error goes once it answers.
        anna.refresh()
        anna.sees(lambda: anna.text("class-code") == code,
                  "a reload opens the class of the address")
        service.stop()
        anna.says("De klasdienst is niet bereikbaar", "the page says the service is gone")
        service = Service(work, database, service.port, service.plain_port, service.admin_port)
        check(service.port is not None, "the service starts again")
        polling(lambda: anna.text("message") == "" and len(anna.rows()) == 4,
                "the error goes once the service answers again",
                lambda: ": %r" % anna.text("message"))
        # An expired login says so, and logging in again opens the class of the address.
        anna.execute_async_script("""
            const done = arguments[0];
            fetch("api/logout", {method: "POST", headers: {"Content-Type": "application/json",
                                                           "X-CSRF-Token": state.csrf},
                                 body: "{}"}).then(done);""")
        anna.says("Je sessie is verlopen; meld je opnieuw aan", "an expired login says so")
        check(anna.focused() == "login-name", "the focus is on Naam")
        anna.type("login-name", "anna", clear=True)
        anna.type("login-password", "anna heeft een lang wachtwoord", submit="login-submit")
        anna.sees(lambda: anna.text("class-code") == code and anna.text("message") == "",
                  "logged in again, the class is open and the message gone")
        # Afmelden: the next teacher finds the name field empty, focused, and no class.
        anna.find("logout").click()
        anna.says("Je bent afgemeld.", "logged out")
        check(anna.focused() == "login-name" and "#" not in anna.current_url and
              anna.find("login-name").get_attribute("value") == "",
              "after Afmelden Naam is empty and focused, the class is out of the address")
    finally:
        if front:
            front.terminate()
            front.wait(10)
        if anna:
            anna.quit()
        if service:
            service.stop()
        shutil.rmtree(work, ignore_errors=True)


main()
if failures:
    print("%d check(s) failed" % len(failures))
    sys.exit(1)
