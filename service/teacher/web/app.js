// The teacher's page: talks to /leerkracht/api/ with the session cookie and
// sends the CSRF token with every change. Texts from the service are only
// ever set as text, never as HTML.
"use strict";

const byId = (id) => document.getElementById(id);
const state = { csrf: "", login: "", code: "", timer: 0, fleeting: false };
const unreachable = "De klasdienst is niet bereikbaar";

function show(view) {
  for (const id of ["login-view", "password-view", "classes-view", "class-view"])
    byId(id).hidden = id !== view;
  byId("who").hidden = view === "login-view";
  if (view !== "class-view") stopRefresh();
  if (view === "login-view") byId("login-name").focus();
}

// A fleeting message says what went wrong with the service itself: the next
// answer that succeeds takes it away.
function say(text, info, fleeting = text === unreachable) {
  const message = byId("message");
  message.textContent = text || "";
  message.className = info ? "info" : "";
  state.fleeting = Boolean(text) && fleeting;
}

async function api(method, path, body) {
  const options = { method, headers: {}, credentials: "same-origin" };
  if (method !== "GET") {
    options.headers["Content-Type"] = "application/json";
    options.headers["X-CSRF-Token"] = state.csrf;
    options.body = JSON.stringify(body || {});
  }
  let reply;
  try {
    const response = await fetch("api/" + path, options);
    reply = await response.json();
    reply.status = response.status;
  } catch (e) {
    reply = { success: false, status: 0, error: unreachable };
  }
  if (reply.success && state.fleeting) say("");
  if (reply.status === 401 && path !== "login" && state.csrf) {
    state.csrf = "";
    say("Je sessie is verlopen; meld je opnieuw aan");
    show("login-view");
  }
  return reply;
}

// Times are shown in the teacher's own time zone.
function time(ms) {
  return ms ? new Date(ms).toLocaleTimeString("nl-BE") : "–";
}

function hourMinute(ms) {
  return new Date(ms).toLocaleTimeString("nl-BE", { hour: "2-digit", minute: "2-digit" });
}

// The state of a student's computer as the teacher reads it.
const stateTexts = {
  blocked: (s) => "Geblokkeerd sinds " + hourMinute(s.since),
  failed: (s) => "Blokkering mislukt: " + s.error + " (" + hourMinute(s.since) + ")",
  departed: (s) => "Vertrokken tijdens blokkering om " + hourMinute(s.since),
  no_contact: (s) => "Geen contact sinds " + hourMinute(s.since),
  no_report: () => "Nog geen melding",
  free: () => "Vrij",
};

function stateText(student) {
  return (stateTexts[student.state] || stateTexts.free)(student);
}

// Today in the teacher's time zone, as YYYY-MM-DD.
function today() {
  const now = new Date();
  return [now.getFullYear(), now.getMonth() + 1, now.getDate()]
    .map((n) => String(n).padStart(2, "0")).join("-");
}

function timeZone() {
  return Intl.DateTimeFormat().resolvedOptions().timeZone || "";
}

function dayQuery(day) {
  return "day=" + encodeURIComponent(day) + "&tz=" + encodeURIComponent(timeZone());
}

function cell(row, text, className) {
  const td = document.createElement("td");
  td.textContent = text;
  if (className) td.className = className;
  row.appendChild(td);
  return td;
}

function renderClass(c) {
  byId("class-title").textContent = c.class_name + (c.school_name ? " – " + c.school_name : "");
  byId("class-code").textContent = c.code;
  const sw = byId("block-switch");
  sw.setAttribute("aria-checked", c.is_blocked ? "true" : "false");
  byId("block-label").textContent = c.is_blocked ? "Blokkering aan" : "Blokkering uit";

  const body = byId("students");
  body.replaceChildren();
  for (const s of c.students) {
    const row = document.createElement("tr");
    row.dataset.name = s.name;
    row.dataset.state = s.state;
    if (s.attention) row.className = "attention";
    cell(row, s.name);
    cell(row, stateText(s), "status state-" + s.state);
    cell(row, s.device || "–");
    cell(row, time(s.joined_at));
    cell(row, time(s.last_seen));
    const action = document.createElement("td");
    const remove = document.createElement("button");
    remove.type = "button";
    remove.className = "secondary small remove-student";
    remove.textContent = "Verwijderen";
    remove.setAttribute("aria-label", "Verwijder " + s.name);
    remove.addEventListener("click", () => removeStudent(s));
    action.appendChild(remove);
    row.appendChild(action);
    body.appendChild(row);
  }
  const count = c.students.length;
  const summary = count ? c.blocked_count + " van " + count + (count === 1 ? " computer" : " computers") +
                          " geblokkeerd" : "";
  // A live region: only a change is announced, not every refresh.
  if (byId("summary").textContent !== summary) byId("summary").textContent = summary;
  byId("no-students").hidden = count > 0;
  if (c.log) renderLog(c.log);

  const list = byId("domains");
  list.replaceChildren();
  for (const name of c.domains) {
    const item = document.createElement("li");
    item.appendChild(document.createTextNode(name + " "));
    const remove = document.createElement("button");
    remove.type = "button";
    remove.className = "secondary small";
    remove.textContent = "×";
    remove.setAttribute("aria-label", "Verwijder " + name);
    remove.addEventListener("click", () => changeDomains({ remove: name }));
    item.appendChild(remove);
    list.appendChild(item);
  }
}

function renderLog(events) {
  const list = byId("lesson-log");
  list.replaceChildren();
  for (const event of events) {
    const item = document.createElement("li");
    item.textContent = time(event.at) + " " + (event.student ? event.student + ": " : "") + event.text;
    list.appendChild(item);
  }
  byId("no-log").hidden = events.length > 0;
}

function classPath(suffix) {
  return "classes/" + encodeURIComponent(state.code) + (suffix || "");
}

function updateCsvLink() {
  byId("log-csv").href = "api/" + classPath("/log.csv?" + dayQuery(byId("log-day").value || today()));
}

function stopRefresh() {
  clearInterval(state.timer);
  state.timer = 0;
}

async function refreshClass() {
  if (!state.code) return;
  const code = state.code;
  const reply = await api("GET", classPath("?" + dayQuery(today())));
  if (code !== state.code) return reply;  // another class was opened meanwhile
  if (reply.success) renderClass(reply.class);
  else if (reply.status !== 401) say(reply.error, false, true);
  return reply;
}

// The open class is in the address (#klas/CODE): a reload or a bookmark opens it.
function codeInAddress() {
  const match = /^#klas\/([A-Za-z0-9]{1,32})$/.exec(location.hash);
  return match ? match[1].toUpperCase() : "";
}

function route() {
  const code = codeInAddress();
  if (code) openClass(code);
  else listClasses();
}

async function openClass(code) {
  state.code = code;
  if (codeInAddress() !== code) location.hash = "klas/" + code;
  say("");
  for (const id of ["students", "domains", "lesson-log"]) byId(id).replaceChildren();
  byId("summary").textContent = "";
  byId("log-day").value = today();
  updateCsvLink();
  show("class-view");
  const reply = await refreshClass();
  if (reply.status === 404) {
    await listClasses();
    return say(reply.error);
  }
  stopRefresh();
  state.timer = setInterval(refreshClass, 2000);
  byId("block-switch").focus();
}

async function listClasses() {
  state.code = "";
  if (location.hash) history.pushState(null, "", location.pathname);
  show("classes-view");
  const reply = await api("GET", "classes");
  if (!reply.success) return say(reply.error);
  const list = byId("class-list");
  list.replaceChildren();
  for (const c of reply.classes) {
    const item = document.createElement("li");
    const open = document.createElement("button");
    open.type = "button";
    open.dataset.code = c.code;
    open.textContent = c.class_name + " (" + c.code + ")" + (c.is_blocked ? " – blokkering aan" : "");
    open.addEventListener("click", () => openClass(c.code));
    item.appendChild(open);
    list.appendChild(item);
  }
  byId("no-classes").hidden = reply.classes.length > 0;
}

function showDisplayName(name, login) {
  byId("who-name").textContent = name || login;
  byId("display-name").value = name;
  byId("display-name-missing").hidden = Boolean(name);
}

function loggedIn(session) {
  state.csrf = session.csrf;
  state.login = session.name;
  showDisplayName(session.display_name, session.name);
  if (session.must_change_password) {
    show("password-view");
    byId("new-password").focus();
  } else {
    route();
  }
}

// Nothing of the last teacher stays in the page of a shared computer.
function forgetTeacher() {
  state.csrf = state.login = state.code = "";
  for (const id of ["login-name", "login-password", "display-name"]) byId(id).value = "";
  for (const id of ["class-list", "students", "domains", "lesson-log"]) byId(id).replaceChildren();
  for (const id of ["who-name", "summary", "class-title", "class-code"]) byId(id).textContent = "";
  history.replaceState(null, "", location.pathname);
}

async function changeDomains(change) {
  const reply = await api("POST", classPath("/domains"), change);
  if (!reply.success) return say(reply.error);
  say(change.add ? change.add.trim().toLowerCase() + " staat nu in de lijst."
                 : change.remove + " is uit de lijst gehaald.", true);
  renderClass(reply.class);
  return reply;
}

async function removeStudent(student) {
  if (!confirm(student.name + " uit de klas verwijderen?")) return;
  const reply = await api("POST", classPath("/students/" + encodeURIComponent(student.id) + "/remove"));
  if (!reply.success) return say(reply.error);
  say(student.name + " is verwijderd.", true);
  renderClass(reply.class);
}

function on(id, event, handler) {
  byId(id).addEventListener(event, (e) => {
    if (event === "submit") e.preventDefault();
    handler(e);
  });
}

on("login-form", "submit", async () => {
  const reply = await api("POST", "login",
                          { name: byId("login-name").value, password: byId("login-password").value });
  byId("login-password").value = "";
  if (!reply.success) return say(reply.error);
  say("");
  loggedIn(reply);
});

on("password-form", "submit", async () => {
  const reply = await api("POST", "password", { password: byId("new-password").value });
  byId("new-password").value = "";
  if (!reply.success) return say(reply.error);
  say("Je nieuwe wachtwoord is bewaard.", true);
  route();
});

on("logout", "click", async () => {
  await api("POST", "logout");
  forgetTeacher();
  say("Je bent afgemeld.", true);
  show("login-view");
});

on("display-name-form", "submit", async () => {
  const reply = await api("POST", "display-name", { display_name: byId("display-name").value });
  if (!reply.success) return say(reply.error);
  showDisplayName(reply.display_name, state.login);
  say("Leerlingen zien nu: " + reply.display_name, true);
});

on("new-class-form", "submit", async () => {
  const reply = await api("POST", "classes", { class_name: byId("new-class-name").value,
                                               school_name: byId("new-class-school").value });
  if (!reply.success) return say(reply.error);
  byId("new-class-name").value = "";
  openClass(reply.class.code);
});

on("back", "click", () => listClasses());

window.addEventListener("hashchange", () => {
  if (state.csrf && codeInAddress() !== state.code) route();
});

on("log-day", "change", updateCsvLink);

on("block-switch", "click", async () => {
  const on = byId("block-switch").getAttribute("aria-checked") !== "true";
  const reply = await api("POST", classPath("/blocked"), { is_blocked: on });
  if (!reply.success) return say(reply.error);
  say(on ? "Blokkering staat aan." : "Blokkering staat uit.", true);
  renderClass(reply.class);
});

on("domain-form", "submit", async () => {
  const input = byId("domain-add");
  if (await changeDomains({ add: input.value })) input.value = "";
});

on("end-lesson", "click", async () => {
  if (!confirm("De les beëindigen? Alle leerlingen worden afgemeld.")) return;
  const reply = await api("POST", classPath("/end"));
  if (!reply.success) return say(reply.error);
  say("De les is beëindigd.", true);
  renderClass(reply.class);
});

(async () => {
  const reply = await api("GET", "session");
  if (reply.success) loggedIn(reply);
  else show("login-view");
})();
