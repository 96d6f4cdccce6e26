// The script that builds the page's script world on the native primitives:
// node objects (one per node, so identity holds), document, window,
// location, navigator with the Flash plugin, ActiveXObject, events and
// timers on a virtual clock. It runs as function(global, n) and returns the
// hooks the engine calls after the page's scripts: contentLoaded, load,
// timer(limitMs).
#include "platform/html/ScriptContext.h"

namespace win::html {

const char kScriptBootstrap[] = R"JS(function (g, n) {
var wrappers = {};
var NodeProto = {};
function wrap(p) {
  if (p === null || p === undefined) return null;
  var key = String(p), w = wrappers[key];
  if (w) return w;
  w = Object.create(n.kind(p) === 9 ? DocProto : NodeProto);
  Object.defineProperty(w, '__p', {value: p});
  wrappers[key] = w;
  return w;
}
function wrapAll(a) { for (var i = 0; i < a.length; i++) a[i] = wrap(a[i]); return a; }
function ptr(x) {
  if (x === null || typeof x !== 'object' || x.__p === undefined) throw new TypeError('not a node');
  return x.__p;
}
function accessor(o, name, get, set) {
  Object.defineProperty(o, name, {get: get, set: set || function () {}, configurable: true});
}
function reflect(name, attr) {
  accessor(NodeProto, name, function () { var v = n.attr(this.__p, attr); return v === null ? '' : v; },
           function (v) { n.setAttr(this.__p, attr, String(v)); });
}
accessor(NodeProto, 'nodeType', function () { return n.kind(this.__p); });
accessor(NodeProto, 'nodeName', function () {
  var k = n.kind(this.__p); return k === 1 ? n.tag(this.__p) : k === 3 ? '#text' : k === 9 ? '#document' : '#comment'; });
accessor(NodeProto, 'tagName', function () { return n.kind(this.__p) === 1 ? n.tag(this.__p) : undefined; });
accessor(NodeProto, 'parentNode', function () { return wrap(n.parent(this.__p)); });
accessor(NodeProto, 'parentElement', function () { var p = wrap(n.parent(this.__p)); return p && p.nodeType === 1 ? p : null; });
accessor(NodeProto, 'childNodes', function () { return wrapAll(n.children(this.__p)); });
accessor(NodeProto, 'children', function () {
  return wrapAll(n.children(this.__p)).filter(function (c) { return c.nodeType === 1; }); });
accessor(NodeProto, 'firstChild', function () { var c = n.children(this.__p); return c.length ? wrap(c[0]) : null; });
accessor(NodeProto, 'lastChild', function () { var c = n.children(this.__p); return c.length ? wrap(c[c.length - 1]) : null; });
accessor(NodeProto, 'nextSibling', function () { return wrap(n.sibling(this.__p, 1)); });
accessor(NodeProto, 'previousSibling', function () { return wrap(n.sibling(this.__p, -1)); });
accessor(NodeProto, 'ownerDocument', function () { return document; });
accessor(NodeProto, 'innerHTML', function () { return n.markup(this.__p, false); },
         function (v) { n.setMarkup(this.__p, String(v), false); });
accessor(NodeProto, 'outerHTML', function () { return n.markup(this.__p, true); },
         function (v) { n.setMarkup(this.__p, String(v), true); });
accessor(NodeProto, 'innerText', function () { return n.text(this.__p); }, function (v) { n.setText(this.__p, String(v)); });
accessor(NodeProto, 'textContent', function () { return n.text(this.__p); }, function (v) { n.setText(this.__p, String(v)); });
accessor(NodeProto, 'nodeValue', function () { return n.kind(this.__p) === 1 ? null : n.text(this.__p); },
         function (v) { if (n.kind(this.__p) !== 1) n.setText(this.__p, String(v)); });
accessor(NodeProto, 'data', function () {
  if (n.kind(this.__p) !== 1) return n.text(this.__p); var v = n.attr(this.__p, 'data'); return v === null ? '' : v; },
  function (v) { if (n.kind(this.__p) !== 1) n.setText(this.__p, String(v)); else n.setAttr(this.__p, 'data', String(v)); });
accessor(NodeProto, 'className', function () { var v = n.attr(this.__p, 'class'); return v === null ? '' : v; },
         function (v) { n.setAttr(this.__p, 'class', String(v)); });
['id', 'src', 'type', 'classid', 'codebase', 'width', 'height', 'name', 'value', 'href', 'title', 'align', 'alt',
 'movie', 'quality', 'bgcolor', 'wmode', 'flashvars', 'allowscriptaccess', 'pluginspage', 'language', 'lang']
  .forEach(function (a) { reflect(a, a); });
accessor(NodeProto, 'style', function () {
  if (!this.__style) Object.defineProperty(this, '__style', {value: {}});
  return this.__style; });
accessor(NodeProto, 'attributes', function () {
  var p = this.__p;
  return n.attrNames(p).map(function (a) { return {name: a, nodeName: a, value: n.attr(p, a), nodeValue: n.attr(p, a)}; }); });
NodeProto.getAttribute = function (a) { return n.attr(this.__p, String(a)); };
NodeProto.setAttribute = function (a, v) { n.setAttr(this.__p, String(a), String(v)); };
NodeProto.removeAttribute = function (a) { n.removeAttr(this.__p, String(a)); };
NodeProto.hasAttribute = function (a) { return n.attr(this.__p, String(a)) !== null; };
NodeProto.hasChildNodes = function () { return n.children(this.__p).length > 0; };
NodeProto.appendChild = function (c) { n.insert(this.__p, ptr(c), null); return c; };
NodeProto.insertBefore = function (c, r) { n.insert(this.__p, ptr(c), r ? ptr(r) : null); return c; };
NodeProto.removeChild = function (c) {
  if (n.parent(ptr(c)) !== this.__p) throw new Error('NotFoundError'); n.detach(c.__p); return c; };
NodeProto.replaceChild = function (c, old) {
  if (n.parent(ptr(old)) !== this.__p) throw new Error('NotFoundError');
  if (c !== old) { n.insert(this.__p, ptr(c), old.__p); n.detach(old.__p); }
  return old; };
NodeProto.removeNode = function () { n.detach(this.__p); return this; };
NodeProto.getElementsByTagName = function (t) { return wrapAll(n.byTag(this.__p, String(t))); };
NodeProto.cloneNode = function (deep) {
  if (n.kind(this.__p) !== 1) return document.createTextNode(n.text(this.__p));
  return wrap(n.create(deep ? n.markup(this.__p, true) : '<' + n.tag(this.__p) + '>')); };
NodeProto.contains = function (o) { for (var p = ptr(o); p; p = n.parent(p)) if (p === this.__p) return true; return false; };
NodeProto.addEventListener = NodeProto.removeEventListener = NodeProto.detachEvent = function () {};
NodeProto.attachEvent = function () { return true; };
NodeProto.doScroll = NodeProto.focus = NodeProto.blur = NodeProto.click = function () {};
NodeProto.getBoundingClientRect = function () { return {left: 0, top: 0, right: 0, bottom: 0, width: 0, height: 0}; };
NodeProto.toString = function () { return n.kind(this.__p) === 1 ? '[object HTMLElement]' : '[object Node]'; };

// ---- Events and timers ----
var listeners = {DOMContentLoaded: [], load: [], readystatechange: []};
var readyState = 'loading';
function listen(type, fn) {
  type = String(type);
  if (typeof fn === 'function' && listeners[type]) listeners[type].push(fn);
}
function ieListen(type, fn) { type = String(type); if (/^on/i.test(type)) listen(type.substring(2), fn); return true; }
var timers = [], now = 0, seq = 0;
function addTimer(fn, ms, args, repeat) {
  if (typeof fn !== 'function') { var code = String(fn); fn = function () { (0, eval)(code); }; }
  ms = Number(ms) || 0; if (ms < 0) ms = 0;
  if (repeat && ms < 10) ms = 10;
  var id = ++seq;
  timers.push({id: id, when: now + ms, ms: ms, fn: fn, args: args, repeat: repeat});
  return id;
}
function clearTimer(id) { for (var i = 0; i < timers.length; i++) if (timers[i].id === id) { timers.splice(i, 1); return; } }
function fire(type, self) {
  var list = listeners[type].slice(), ev = {type: type, target: self, srcElement: self, preventDefault: function () {},
    stopPropagation: function () {}};
  for (var i = 0; i < list.length; i++) list[i].call(self, ev);
}

// ---- document ----
var DocProto = Object.create(NodeProto);
var document = wrap(n.root());
function firstByTag(t) { var a = n.byTag(n.root(), t); return a.length ? wrap(a[0]) : null; }
accessor(DocProto, 'body', function () { return firstByTag('body'); });
accessor(DocProto, 'head', function () { return firstByTag('head'); });
accessor(DocProto, 'documentElement', function () { return firstByTag('html'); });
accessor(DocProto, 'readyState', function () { return readyState; });
accessor(DocProto, 'URL', function () { return n.url(); });
accessor(DocProto, 'location', function () { return location; }, function () {});
accessor(DocProto, 'domain', function () { return location.hostname; });
accessor(DocProto, 'title', function () { var t = firstByTag('title'); return t ? t.innerText : ''; });
accessor(DocProto, 'all', function () { var a = wrapAll(n.byTag(n.root(), '*'));
  a.tags = function (t) { return document.getElementsByTagName(t); }; a.item = function (i) { return a[i] || null; }; return a; });
accessor(DocProto, 'parentWindow', function () { return g; });
accessor(DocProto, 'defaultView', function () { return g; });
DocProto.cookie = ''; DocProto.referrer = ''; DocProto.compatMode = 'BackCompat';
DocProto.getElementById = function (id) { return wrap(n.byAttr('id', String(id), true)); };
DocProto.getElementsByName = function (nm) { return wrapAll(n.byAttr('name', String(nm), false)); };
DocProto.createElement = function (t) { return wrap(n.create(String(t))); };
DocProto.createTextNode = function (t) { return wrap(n.createText(String(t))); };
DocProto.createComment = function () { return wrap(n.createText('')); };
DocProto.createDocumentFragment = function () { return wrap(n.create('div')); };
DocProto.write = function () { n.write(Array.prototype.join.call(arguments, '')); };
DocProto.writeln = function () { n.write(Array.prototype.join.call(arguments, '') + '\n'); };
DocProto.open = DocProto.close = function () {};
DocProto.addEventListener = function (t, fn) { listen(t, fn); };
DocProto.attachEvent = function (t, fn) { return ieListen(t, fn); };

// ---- location ----
function parseUrl(u) {
  var m = /^([A-Za-z][A-Za-z0-9+.-]*:)(?:\/\/([^\/?#]*))?([^?#]*)(\?[^#]*)?(#.*)?$/.exec(u) || [];
  var host = m[2] || '', at = host.lastIndexOf('@'); if (at >= 0) host = host.substring(at + 1);
  var port = /:(\d*)$/.exec(host);
  return {href: u, protocol: m[1] || '', host: host, hostname: port ? host.substring(0, host.length - port[0].length) : host,
    port: port ? port[1] : '', pathname: m[3] || '', search: m[4] || '', hash: m[5] || ''};
}
var location = parseUrl(n.url());
location.toString = function () { return this.href; };
location.assign = location.replace = location.reload = function () {};
location.origin = location.protocol + '//' + location.host;
Object.freeze(location);

// ---- navigator: a Flash plugin, as both kinds of detection expect ----
var flashType = {type: 'application/x-shockwave-flash', suffixes: 'swf', description: 'Shockwave Flash'};
var flash = {name: 'Shockwave Flash', description: 'Shockwave Flash 32.0 r0', filename: 'Flash.ocx', version: '32.0.0.0',
  length: 1, 0: flashType, 'application/x-shockwave-flash': flashType,
  item: function (i) { return this[i] || null; }, namedItem: function (t) { return this[t] || null; }};
flashType.enabledPlugin = flash;
var plugins = [flash]; plugins['Shockwave Flash'] = flash;
plugins.item = function (i) { return this[i] || null; }; plugins.namedItem = function (s) { return this[s] || null; };
plugins.refresh = function () {};
var mimeTypes = [flashType]; mimeTypes['application/x-shockwave-flash'] = flashType;
mimeTypes.item = plugins.item; mimeTypes.namedItem = plugins.namedItem;
var navigator = {userAgent: n.userAgent(), appName: 'Microsoft Internet Explorer', appCodeName: 'Mozilla',
  appVersion: n.userAgent().replace(/^Mozilla\//, ''), platform: 'Win32', language: 'en-US', userLanguage: 'en-US',
  browserLanguage: 'en-US', cookieEnabled: true, onLine: true, plugins: plugins, mimeTypes: mimeTypes,
  javaEnabled: function () { return false; }};

// ---- ActiveXObject and automation objects ----
function comValue(v) {
  if (v === null || typeof v !== 'object') return v;
  return comProxy(v);
}
function comArg(v) { return v && v.__com ? v.__com : v; }
function comProxy(h) {
  return new Proxy({}, {
    get: function (t, k) {
      if (k === '__com') return h;
      if (typeof k !== 'string') return undefined;
      if (k === 'toString' || k === 'valueOf') return function () { return '[object]'; };
      try { return comValue(n.comGet(h, k)); } catch (e) {
        if (!n.comHas(h, k)) return undefined;
        return function () { return comValue(n.comCall(h, k, Array.prototype.map.call(arguments, comArg))); };
      }
    },
    set: function (t, k, v) { n.comSet(h, String(k), comArg(v)); return true; },
    has: function (t, k) { return n.comHas(h, String(k)); }
  });
}
function FlashControl() {}
FlashControl.prototype.GetVariable = function (name) {
  if (String(name) === '$version') return 'WIN 32,0,0,0';
  throw new Error('Unspecified error');
};
FlashControl.prototype.SetVariable = function () {};
FlashControl.prototype.AllowScriptAccess = 'always';
function ActiveXObject(name) {
  name = String(name);
  if (/^ShockwaveFlash\.ShockwaveFlash(\.(6|7))?$/i.test(name)) return new FlashControl();
  var h = n.activeX(name);
  if (h === null) throw new Error("Automation server can't create object");
  return comProxy(h);
}

// ---- window ----
var onload = null, onloadFromBody = false;
var win = {
  window: g, self: g, top: g, parent: g, frames: g, document: document, navigator: navigator,
  clientInformation: navigator, ActiveXObject: ActiveXObject,
  screen: {width: 1024, height: 768, availWidth: 1024, availHeight: 740, colorDepth: 32},
  setTimeout: function (fn, ms) { return addTimer(fn, ms, Array.prototype.slice.call(arguments, 2), false); },
  setInterval: function (fn, ms) { return addTimer(fn, ms, Array.prototype.slice.call(arguments, 2), true); },
  clearTimeout: clearTimer, clearInterval: clearTimer,
  alert: function () {}, confirm: function () { return false; }, prompt: function () { return null; },
  open: function () { return null; }, close: function () {}, focus: function () {}, blur: function () {},
  scrollTo: function () {}, scrollBy: function () {}, print: function () {},
  addEventListener: function (t, fn) { listen(t, fn); }, removeEventListener: function () {},
  attachEvent: ieListen, detachEvent: function () {},
  status: '', defaultStatus: '', name: '', closed: false, opener: null, innerWidth: 1024, innerHeight: 768,
  Image: function () { return document.createElement('img'); }
};
Object.keys(win).forEach(function (k) {
  Object.defineProperty(g, k, {value: win[k], writable: true, configurable: true, enumerable: true}); });
// Scripts cannot leave the page: assignments to location are ignored.
accessor(g, 'location', function () { return location; });
Object.defineProperty(g, 'onload', {get: function () { return onload; },
  set: function (f) { onload = f; onloadFromBody = n.inBody(); }, configurable: true});
var ext = n.external();
if (ext !== null) Object.defineProperty(g, 'external', {value: comProxy(ext), writable: true, configurable: true});

return {
  contentLoaded: function () { readyState = 'interactive'; fire('DOMContentLoaded', document); },
  load: function () {
    readyState = 'complete';
    fire('readystatechange', document);
    var body = document.body, attr = body ? body.getAttribute('onload') : null;
    var first = null;
    if (attr !== null && !(typeof onload === 'function' && onloadFromBody)) first = new Function('event', attr);
    else if (typeof onload === 'function') first = onload;
    var ev = {type: 'load', target: document, srcElement: document};
    try { if (first) first.call(g, ev); } finally { fire('load', g); }
  },
  timer: function (limit) {
    var best = -1;
    for (var i = 0; i < timers.length; i++)
      if (best < 0 || timers[i].when < timers[best].when || (timers[i].when === timers[best].when && timers[i].id < timers[best].id)) best = i;
    if (best < 0 || timers[best].when > limit) return false;
    var t = timers[best];
    now = t.when;
    if (t.repeat) t.when = now + t.ms; else timers.splice(best, 1);
    t.fn.apply(g, t.args);
    return true;
  }
};
})JS";

}  // namespace win::html
