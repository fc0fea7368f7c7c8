// The teacher's page: talks to /leerkracht/api/ with the session cookie and
// sends the CSRF token with every change. Texts from the service are only
// ever set as text, never as HTML.
"use strict";

const byId = (id) => document.getElementById(id);
const state = { csrf: "", login: "", code: "", timer: 0 };

function show(view) {
  for (const id of ["login-view", "password-view", "classes-view", "class-view"])
    byId(id).hidden = id !== view;
  byId("who").hidden = view === "login-view";
  if (view !== "class-view") stopRefresh();
}

function say(text, info) {
  const message = byId("message");
  message.textContent = text || "";
  message.className = info ? "info" : "";
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
    reply = { success: false, status: 0, error: "De klasdienst is niet bereikbaar" };
  }
  if (reply.status === 401 && path !== "login") {
    state.csrf = "";
    show("login-view");
  }
  return reply;
}

function time(ms) {
  return ms ? new Date(ms).toLocaleTimeString("nl-BE") : "–";
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
    cell(row, s.name);
    cell(row, s.device || "–");
    cell(row, time(s.joined_at));
    cell(row, time(s.last_seen));
    cell(row, s.online ? "online" : "offline", s.online ? "online status" : "offline status");
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
  byId("student-count").textContent = "(" + c.students.filter((s) => s.online).length +
                                      " van " + c.students.length + " online)";
  byId("no-students").hidden = c.students.length > 0;

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

function stopRefresh() {
  clearInterval(state.timer);
  state.timer = 0;
}

async function refreshClass() {
  if (!state.code) return;
  const reply = await api("GET", "classes/" + encodeURIComponent(state.code));
  if (reply.success) renderClass(reply.class);
  else if (reply.status !== 401) say(reply.error);
}

async function openClass(code) {
  state.code = code;
  say("");
  show("class-view");
  await refreshClass();
  stopRefresh();
  state.timer = setInterval(refreshClass, 2000);
  byId("block-switch").focus();
}

async function listClasses() {
  state.code = "";
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
    listClasses();
  }
}

async function changeDomains(change) {
  const reply = await api("POST", "classes/" + encodeURIComponent(state.code) + "/domains", change);
  if (!reply.success) return say(reply.error);
  say("");
  renderClass(reply.class);
  return reply;
}

async function removeStudent(student) {
  if (!confirm(student.name + " uit de klas verwijderen?")) return;
  const reply = await api("POST", "classes/" + encodeURIComponent(state.code) + "/students/" +
                          encodeURIComponent(student.id) + "/remove");
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
  listClasses();
});

on("logout", "click", async () => {
  await api("POST", "logout");
  state.csrf = "";
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

on("block-switch", "click", async () => {
  const on = byId("block-switch").getAttribute("aria-checked") !== "true";
  const reply = await api("POST", "classes/" + encodeURIComponent(state.code) + "/blocked",
                          { is_blocked: on });
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
  const reply = await api("POST", "classes/" + encodeURIComponent(state.code) + "/end");
  if (!reply.success) return say(reply.error);
  say("De les is beëindigd.", true);
  renderClass(reply.class);
});

(async () => {
  const reply = await api("GET", "session");
  if (reply.success) loggedIn(reply);
  else show("login-view");
})();
