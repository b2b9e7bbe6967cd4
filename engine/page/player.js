/* The player of a served music folder's page: plays the tracks in the page, finds them by any
   word of their names, tags and folders, sorts them. No framework: it reads the list the page
   already is (no second copy of the data) and touches only what is shown, so that a page of
   100,000 tracks stays quick. Without it the page is its list, and every link still works. */
(function () {
  'use strict';
  var tree = document.getElementById('tree');
  var texts = document.getElementById('x').dataset;
  var tracks = [];  // {li, a, folder, title, artist, album, k, d, m, hay}
  var folders = []; // {el, name, parent, end, hay}
  var folderOf = new Map(); // details element -> index in folders

  function say(text, n) { return text.replace('%1', n); }
  function norm(s) {
    return s.normalize('NFD').replace(/[\u0300-\u036f]/g, '').toLowerCase();
  }
  function el(tag, props, children) {
    var e = document.createElement(tag);
    for (var p in props) {
      if (p === 'text') e.textContent = props[p];
      else if (p.slice(0, 5) === 'aria-' || p === 'role' || p === 'for') e.setAttribute(p, props[p]);
      else e[p] = props[p];
    }
    (children || []).forEach(function (c) { e.appendChild(c); });
    return e;
  }
  // Icons drawn here, in the text's colour: no font holds them all.
  var icons = {
    play: ['fill', 'M7 4.5v15l12.5-7.5z'],
    pause: ['fill', 'M6 4.5h4.5v15H6zM13.5 4.5H18v15h-4.5z'],
    previous: ['fill', 'M5 5h2.5v14H5zM8.5 12L19 19V5z'],
    next: ['fill', 'M16.5 5H19v14h-2.5zM5 19l10.5-7L5 5z'],
    shuffle: ['stroke', 'M3 7h4l10 10h4M3 17h4L17 7h4M18 4l3 3-3 3M18 14l3 3-3 3'],
    repeat: ['stroke', 'M4 12V9a2 2 0 0 1 2-2h12M15 4l3 3-3 3M20 12v3a2 2 0 0 1-2 2H6M9 20l-3-3 3-3'],
    download: ['stroke', 'M12 4v11M7 10l5 5 5-5M5 20h14']
  };
  function icon(name) {
    var ns = 'http://www.w3.org/2000/svg';
    var svg = document.createElementNS(ns, 'svg');
    var path = document.createElementNS(ns, 'path');
    svg.setAttribute('viewBox', '0 0 24 24');
    svg.setAttribute('width', '20');
    svg.setAttribute('height', '20');
    svg.setAttribute('aria-hidden', 'true');
    path.setAttribute('d', icons[name][1]);
    if (icons[name][0] === 'fill') {
      path.setAttribute('fill', 'currentColor');
    } else {
      path.setAttribute('fill', 'none');
      path.setAttribute('stroke', 'currentColor');
      path.setAttribute('stroke-width', '2');
      path.setAttribute('stroke-linecap', 'round');
      path.setAttribute('stroke-linejoin', 'round');
    }
    svg.appendChild(path);
    return svg;
  }
  function setIcon(button, name) {
    button.textContent = '';
    button.appendChild(icon(name));
  }

  function part(first, cls) {
    for (var c = first; c; c = c.nextElementSibling)
      if (c.className === cls) return c.textContent;
    return '';
  }

  /* The index, from the markup, in list order: a folder's tracks, those of its sub-folders
     included, are one run of it. */
  function index() {
    var nodes = tree.querySelectorAll('details, li');
    for (var i = 0; i < nodes.length; i++) {
      var node = nodes[i];
      if (node.tagName === 'DETAILS') {
        var parent = folderOf.get(node.parentNode);
        folderOf.set(node, folders.length);
        folders.push({el: node, name: node.querySelector('summary > *').textContent,
                      parent: parent === undefined ? -1 : parent, end: tracks.length});
        continue;
      }
      var folder = folderOf.get(node.parentNode.parentNode);
      var a = node.firstElementChild;
      tracks.push({li: node, a: a, folder: folder === undefined ? -1 : folder,
                   title: a.textContent, artist: part(a, 'a'), album: part(a, 'l'),
                   k: +(node.dataset.k || 0), d: +(node.dataset.d || 0),
                   m: parseInt(node.dataset.m || '0', 36)});
      node.dataset.i = tracks.length - 1;
      for (var f = tracks[tracks.length - 1].folder; f >= 0; f = folders[f].parent)
        folders[f].end = tracks.length;
    }
  }
  function firstTrackOf(f) {
    var node = folders[f].el.querySelector('li');
    return node ? +node.dataset.i : -1;
  }
  function haystack(t) {
    if (t.hay === undefined) {
      var hay = t.title + ' ' + t.artist + ' ' + t.album + ' ' + t.a.getAttribute('href');
      for (var f = t.folder; f >= 0; f = folders[f].parent) {
        if (folders[f].hay === undefined) folders[f].hay = norm(folders[f].name);
        hay += ' ' + folders[f].hay;
      }
      t.hay = norm(hay);
    }
    return t.hay;
  }

  /* Folders show their counts, a button that plays them, and their tracks a download link,
     when they come into view. */
  function prepare(details) {
    if (details.dataset.ready) return;
    details.dataset.ready = 1;
    var summary = details.firstElementChild;
    var f = folderOf.get(details);
    // A picture found in a track comes at the folder's end; its place is the heading's side.
    for (var c = summary.nextElementSibling; c; c = c.nextElementSibling)
      if (c.tagName === 'IMG' && c.className === 'c') { summary.appendChild(c); break; }
    var count = details.lastElementChild;
    if (count && count.className === 'n') {
      summary.appendChild(el('span', {className: 'n', text: count.textContent}));
      count.hidden = true;
    }
    var play = el('button', {className: 'pl', type: 'button',
                             'aria-label': say(texts.playFolder, folders[f].name)});
    setIcon(play, 'play');
    play.addEventListener('click', function () {
      var first = firstTrackOf(f);
      if (first >= 0) start(range(first, folders[f].end), 0);
    });
    // Beside the summary, not in it: a button inside a control that opens is none a screen
    // reader can reach. The two side by side in a row of their own.
    var row = el('div', {className: 'row'});
    details.parentNode.insertBefore(row, details);
    row.appendChild(play);
    row.appendChild(details);
  }
  function opened(details) {
    if (!details.open) return;
    for (var c = details.firstElementChild; c; c = next) {
      var next = c.nextElementSibling; // a folder prepared moves into a row of its own
      if (c.tagName === 'DETAILS') prepare(c);
      if (c.tagName === 'OL') addDownloads(c);
    }
  }
  function addDownloads(list) {
    if (list.dataset.ready) return;
    list.dataset.ready = 1;
    for (var li = list.firstElementChild; li; li = li.nextElementSibling) {
      var link = el('a', {className: 'dl', href: li.firstElementChild.href, download: '',
                          title: texts.download,
                          'aria-label': say(texts.downloadOf, li.firstElementChild.textContent)});
      link.appendChild(icon('download'));
      li.appendChild(link);
    }
  }
  function reveal(li) {
    for (var d = li.parentNode; d && d !== tree; d = d.parentNode) {
      if (d.tagName === 'DETAILS' && !d.open) d.open = true;
    }
  }

  /* The player. */
  var audio = new Audio();
  audio.preload = 'metadata';
  var queue = [], at = -1, shuffled = false, repeat = 'off', current = -1;
  function range(from, to) {
    var list = [];
    for (var i = from; i < to; i++) list.push(i);
    return list;
  }
  function shuffle(list, keep) {
    var rest = list.filter(function (i) { return i !== keep; });
    for (var i = rest.length - 1; i > 0; i--) {
      var j = Math.floor(Math.random() * (i + 1));
      var t = rest[i]; rest[i] = rest[j]; rest[j] = t;
    }
    return keep >= 0 ? [keep].concat(rest) : rest;
  }
  var order = [];
  function start(list, from) {
    order = list;
    queue = shuffled ? shuffle(list, list[from]) : list.slice();
    at = shuffled ? 0 : from;
    play(queue[at]);
  }
  function coverOf(t) {
    for (var f = t.folder; f >= 0; f = folders[f].parent) {
      var img = folders[f].el.querySelector(':scope > summary > img.c, :scope > img.c');
      if (img) return img.src;
    }
    return '';
  }
  function play(i) {
    if (i === undefined) return;
    var t = tracks[i];
    if (current >= 0) {
      tracks[current].li.classList.remove('now');
      tracks[current].li.removeAttribute('aria-current');
    }
    current = i;
    t.li.classList.add('now');
    t.li.setAttribute('aria-current', 'true');
    bar.hidden = false;
    audio.src = t.a.href;
    audio.play().catch(function () {});
    npTitle.textContent = t.title;
    npMeta.textContent = [t.artist, t.album].filter(Boolean).join(' \u00B7 ');
    var cover = coverOf(t);
    npCover.hidden = !cover;
    if (cover) npCover.src = cover;
    if (resultsShown()) markResults(); else { reveal(t.li); t.li.scrollIntoView({block: 'nearest'}); }
    if ('mediaSession' in navigator && window.MediaMetadata) {
      navigator.mediaSession.metadata = new MediaMetadata({
        title: t.title, artist: t.artist, album: t.album,
        artwork: cover ? [{src: cover.replace(/-s\.jpg$/, '-l.jpg'), sizes: '512x512',
                           type: 'image/jpeg'}] : []});
    }
  }
  function step(by) {
    if (!queue.length) return;
    if (repeat === 'one' && by > 0 && audio.ended) { audio.currentTime = 0; audio.play(); return; }
    var next = at + by;
    if (next >= queue.length || next < 0) {
      if (repeat !== 'all') { if (by > 0) { audio.pause(); } return; }
      next = (next + queue.length) % queue.length;
    }
    at = next;
    play(queue[at]);
  }
  function toggle() {
    ensureIndex();
    if (current < 0) { if (tracks.length) start(range(0, tracks.length), 0); return; }
    if (audio.paused) audio.play().catch(function () {}); else audio.pause();
  }
  function clock(s) {
    if (!isFinite(s)) return '0:00';
    s = Math.floor(s);
    var h = Math.floor(s / 3600), m = Math.floor(s / 60) % 60, r = s % 60;
    return (h ? h + ':' + (m < 10 ? '0' : '') : '') + m + ':' + (r < 10 ? '0' : '') + r;
  }

  var npTitle = el('span', {id: 'np-title'}), npMeta = el('span', {id: 'np-meta'});
  var npCover = el('img', {alt: '', hidden: true});
  function button(label, name, action) {
    var b = el('button', {type: 'button', 'aria-label': label, title: label});
    setIcon(b, name);
    b.addEventListener('click', action);
    return b;
  }
  var prevButton = button(texts.previous, 'previous', function () { step(-1); });
  var playButton = button(texts.play, 'play', toggle);
  var nextButton = button(texts.next, 'next', function () { step(1); });
  var shuffleButton = button(texts.shuffle, 'shuffle', function () {
    shuffled = !shuffled;
    shuffleButton.setAttribute('aria-pressed', shuffled);
    if (current >= 0) {
      queue = shuffled ? shuffle(order, current) : order.slice();
      at = queue.indexOf(current);
    }
  });
  shuffleButton.setAttribute('aria-pressed', 'false');
  var repeatButton = button(texts.repeatOff, 'repeat', function () {
    repeat = repeat === 'off' ? 'all' : repeat === 'all' ? 'one' : 'off';
    var label = repeat === 'off' ? texts.repeatOff : repeat === 'all' ? texts.repeatAll : texts.repeatOne;
    repeatButton.setAttribute('aria-label', label);
    repeatButton.title = label;
    setIcon(repeatButton, 'repeat');
    if (repeat === 'one') repeatButton.appendChild(document.createTextNode('1'));
    repeatButton.setAttribute('aria-pressed', repeat !== 'off');
  });
  repeatButton.setAttribute('aria-pressed', 'false');
  var seek = el('input', {id: 'seek', type: 'range', min: 0, max: 1000, value: 0,
                          'aria-label': texts.seek});
  var time = el('span', {id: 'time', text: '0:00 / 0:00'});
  var message = el('span', {className: 'sr', role: 'status'});
  var bar = el('section', {id: 'player', hidden: true, 'aria-label': texts.player}, [
    el('div', {className: 'in'}, [npCover, el('div', {id: 'np'}, [npTitle, npMeta]),
      prevButton, playButton, nextButton, shuffleButton, repeatButton, seek, time, message])]);
  seek.addEventListener('input', function () {
    if (isFinite(audio.duration)) audio.currentTime = seek.value / 1000 * audio.duration;
  });
  audio.addEventListener('timeupdate', function () {
    if (isFinite(audio.duration) && document.activeElement !== seek)
      seek.value = Math.round(audio.currentTime / audio.duration * 1000);
    time.textContent = clock(audio.currentTime) + ' / ' + clock(audio.duration);
  });
  audio.addEventListener('play', function () {
    setIcon(playButton, 'pause'); playButton.setAttribute('aria-label', texts.pause);
    playButton.title = texts.pause;
  });
  audio.addEventListener('pause', function () {
    setIcon(playButton, 'play'); playButton.setAttribute('aria-label', texts.play);
    playButton.title = texts.play;
  });
  audio.addEventListener('ended', function () { step(1); });
  audio.addEventListener('error', function () {
    // A format this browser cannot play: said, and the next one plays.
    if (current < 0 || !audio.src) return;
    tracks[current].li.classList.add('bad');
    message.textContent = say(texts.cannot, tracks[current].title);
    step(1);
  });
  if ('mediaSession' in navigator) {
    var actions = {play: toggle, pause: toggle, previoustrack: function () { step(-1); },
                   nexttrack: function () { step(1); },
                   seekto: function (d) { audio.currentTime = d.seekTime; }};
    Object.keys(actions).forEach(function (a) {
      try { navigator.mediaSession.setActionHandler(a, actions[a]); } catch (e) {}
    });
  }

  /* Finding and sorting: the matches in a list of their own, shown a part at a time. */
  var box = el('input', {id: 'q', type: 'search', autocomplete: 'off', spellcheck: false});
  var sorts = ['order', 'title', 'artist', 'album', 'length', 'added'];
  var sort = el('select', {id: 'sort'}, sorts.map(function (s) {
    return el('option', {value: s, text: texts['sort' + s[0].toUpperCase() + s.slice(1)]});
  }));
  var count = el('p', {id: 'count', role: 'status'});
  var find = el('form', {id: 'find', role: 'search'}, [
    el('label', {className: 'sr', 'for': 'q', text: texts.search}), box,
    el('label', {className: 'sr', 'for': 'sort', text: texts.sort}), sort]);
  find.addEventListener('submit', function (e) { e.preventDefault(); });
  box.placeholder = texts.search;
  var results = el('section', {id: 'results', hidden: true, 'aria-label': texts.results});
  var resultList = el('ol');
  var more = el('p');
  results.appendChild(resultList);
  results.appendChild(more);
  var matches = [], shown = 0;
  function resultsShown() { return !results.hidden; }
  function compare(key) {
    var by = {
      title: function (t) { return norm(t.title); }, artist: function (t) { return norm(t.artist); },
      album: function (t) { return norm(t.album) + '\u0000' + (1e6 + t.k); },
      length: function (t) { return t.d; }, added: function (t) { return -t.m; }}[key];
    var keys = new Map();
    return function (a, b) {
      if (!keys.has(a)) keys.set(a, by(tracks[a]));
      if (!keys.has(b)) keys.set(b, by(tracks[b]));
      var x = keys.get(a), y = keys.get(b);
      return x < y ? -1 : x > y ? 1 : a - b;
    };
  }
  function update() {
    ensureIndex();
    var words = norm(box.value).split(/\s+/).filter(Boolean);
    var key = sort.value;
    history.replaceState(null, '', box.value ? '#q=' + encodeURIComponent(box.value)
                                             : location.pathname + location.search);
    if (!words.length && key === 'order') {
      results.hidden = true;
      tree.hidden = false;
      count.textContent = '';
      return;
    }
    matches = [];
    for (var i = 0; i < tracks.length; i++) {
      var hay = haystack(tracks[i]), all = true;
      for (var w = 0; w < words.length && all; w++) all = hay.indexOf(words[w]) >= 0;
      if (all) matches.push(i);
    }
    if (key !== 'order') matches.sort(compare(key));
    count.textContent = matches.length === 0 ? texts.noMatch
      : matches.length === 1 ? texts.track : say(texts.tracks, matches.length);
    tree.hidden = true;
    results.hidden = false;
    resultList.textContent = '';
    shown = 0;
    showMore();
  }
  function row(i) {
    var t = tracks[i];
    var li = el('li', {}, [el('a', {href: t.a.href, text: t.title})]);
    li.dataset.i = i;
    var where = [t.artist, t.album].filter(Boolean).join(' \u00B7 ');
    var f = t.folder >= 0 ? folders[t.folder].name : '';
    li.appendChild(el('span', {text: where || f}));
    var link = el('a', {className: 'dl', href: t.a.href, download: '',
                        'aria-label': say(texts.downloadOf, t.title)});
    link.appendChild(icon('download'));
    li.appendChild(link);
    if (i === current) { li.className = 'now'; li.setAttribute('aria-current', 'true'); }
    return li;
  }
  function showMore() {
    var next = Math.min(matches.length, shown + 100);
    var part = document.createDocumentFragment();
    for (; shown < next; shown++) part.appendChild(row(matches[shown]));
    resultList.appendChild(part);
    more.textContent = shown < matches.length ? '\u2026' : '';
  }
  function markResults() {
    resultList.querySelectorAll('li.now').forEach(function (li) {
      li.className = ''; li.removeAttribute('aria-current');
    });
    var li = resultList.querySelector('li[data-i="' + current + '"]');
    if (li) { li.className = 'now'; li.setAttribute('aria-current', 'true'); li.scrollIntoView({block: 'nearest'}); }
  }
  box.addEventListener('input', update);
  sort.addEventListener('change', update);
  if (window.IntersectionObserver) {
    new IntersectionObserver(function (seen) {
      if (seen[0].isIntersecting && shown < matches.length) showMore();
    }).observe(more);
  }

  /* A click on a title plays it, in the order of what is shown. */
  function clicked(e) {
    ensureIndex();
    var a = e.target.closest('li > a:first-child');
    if (!a || e.ctrlKey || e.metaKey || e.shiftKey || e.button !== 0) return;
    e.preventDefault();
    var i = +a.parentNode.dataset.i;
    if (resultsShown()) start(matches, matches.indexOf(i));
    else start(range(0, tracks.length), i);
  }
  tree.addEventListener('click', clicked);
  resultList.addEventListener('click', clicked);
  tree.addEventListener('toggle', function (e) { ensureIndex(); opened(e.target); }, true);

  document.addEventListener('keydown', function (e) {
    if (e.ctrlKey || e.metaKey || e.altKey) return;
    var inField = e.target.closest && e.target.closest('input, select, textarea');
    if (e.key === '/' && !inField) { e.preventDefault(); box.focus(); return; }
    if (inField || (e.target.closest && e.target.closest('button, summary, a'))) return;
    if (e.key === ' ') { e.preventDefault(); toggle(); }
    else if (e.key === 'ArrowRight' || e.key === 'j') step(1);
    else if (e.key === 'ArrowLeft' || e.key === 'k') step(-1);
  });

  /* "#/Artist/Album" opens a folder; "#q=words" a search. */
  function follow() {
    ensureIndex();
    var hash = location.hash;
    if (hash.slice(0, 3) === '#q=') {
      box.value = decodeURIComponent(hash.slice(3));
      update();
      return;
    }
    if (hash.slice(0, 2) !== '#/') return;
    var wanted = decodeURIComponent(hash.slice(1));
    for (var f = 0; f < folders.length; f++) {
      var d = folders[f].el;
      if (decodeURIComponent(d.id) !== wanted) continue;
      for (var up = d; up && up !== tree; up = up.parentNode)
        if (up.tagName === 'DETAILS') up.open = true;
      d.scrollIntoView();
      return;
    }
  }
  window.addEventListener('hashchange', follow);

  // The index is made once the page has loaded (or at the first use before that), so that the
  // page shows as fast as its list alone.
  var indexed = false;
  function ensureIndex() {
    if (indexed) return;
    indexed = true;
    index();
    for (var c = tree.firstElementChild, next; c; c = next) {
      next = c.nextElementSibling;
      if (c.tagName === 'DETAILS') prepare(c);
      if (c.tagName === 'OL') addDownloads(c);
    }
  }
  tree.parentNode.insertBefore(find, tree);
  tree.parentNode.insertBefore(count, tree);
  tree.parentNode.insertBefore(results, tree.nextSibling);
  document.body.appendChild(bar);
  // Once shown, what searching needs is made a part at a time, while the visitor looks.
  function prepareSearch(from) {
    ensureIndex();
    var to = Math.min(tracks.length, from + 4000);
    for (var i = from; i < to; i++) haystack(tracks[i]);
    if (to < tracks.length) setTimeout(function () { prepareSearch(to); }, 0);
    else box.dataset.ready = '1';
  }
  window.addEventListener('load', function () {
    setTimeout(function () { follow(); prepareSearch(0); }, 0);
  });
})();
