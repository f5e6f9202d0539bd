// The page's controls as the program sets them (app/web/PageDom.h).
mergeInto(LibraryManager.library, {
  korvane_dom_text: function (id, text) {
    document.getElementById(UTF8ToString(id)).textContent = UTF8ToString(text);
  },
  korvane_dom_choice: function (id, index) {
    const element = document.getElementById(UTF8ToString(id));
    if (element.type === 'checkbox') element.checked = index !== 0;
    else element.querySelectorAll('input')[index].checked = true;
  },
  // A group (the configuration's choices) passes it on to its controls.
  korvane_dom_enabled: function (id, enabled) {
    const element = document.getElementById(UTF8ToString(id));
    for (const control of [element, ...element.querySelectorAll('input')]) control.disabled = !enabled;
  },
  korvane_dom_shown: function (id, shown) {
    document.getElementById(UTF8ToString(id)).hidden = !shown;
  },
  korvane_dom_progress: function (id, value, maximum) {
    const bar = document.getElementById(UTF8ToString(id));
    bar.max = Math.max(maximum, 1);
    bar.value = value;
  },
  korvane_dom_speed_clear: function () {
    document.getElementById('speed').length = 0;
  },
  korvane_dom_speed_add: function (title) {
    document.getElementById('speed').add(new Option(UTF8ToString(title)));
  },
  korvane_dom_speed_select: function (index) {
    document.getElementById('speed').selectedIndex = index;
  },
  korvane_dom_alert: function (token, message, buttons) {
    const dialog = document.createElement('dialog');
    const text = document.createElement('p');
    text.textContent = UTF8ToString(message);
    const row = document.createElement('div');
    const titles = UTF8ToString(buttons).split('\n');
    const answer = (index) => {
      dialog.close();
      dialog.remove();
      _korvane_answer(token, index);
    };
    titles.forEach((title, index) => {
      const button = document.createElement('button');
      button.textContent = title;
      button.onclick = () => answer(index);
      row.append(button);
    });
    // Escape answers with the last button, as in the window.
    dialog.oncancel = (event) => {
      event.preventDefault();
      answer(titles.length - 1);
    };
    dialog.append(text, row);
    document.body.append(dialog);
    dialog.showModal();  // the first button has the focus: Enter presses it
  },
  // The chosen file is put in the program's file system for as long as the program reads it, in
  // the current folder: the program names it as the user knows it.
  korvane_dom_choose_file__deps: ['$FS', '$korvaneWithString'],
  korvane_dom_choose_file: function (token, accept) {
    const input = document.getElementById('fileChooser');
    input.accept = UTF8ToString(accept);
    input.value = '';
    input.onchange = async () => {
      const file = input.files[0];
      FS.mkdirTree('/chosen');
      FS.chdir('/chosen');
      // A file that cannot be read is not written: the program says it is not there.
      const bytes = await file.arrayBuffer().catch(() => null);
      if (bytes) FS.writeFile(file.name, new Uint8Array(bytes));
      korvaneWithString(file.name, (text) => _korvane_file_chosen(token, text));
      if (bytes) FS.unlink(file.name);
    };
    input.oncancel = () => _korvane_file_chosen(token, 0);
    input.click();
  },
  korvane_dom_download: function (name, text) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([UTF8ToString(text)], { type: 'application/json' }));
    link.download = UTF8ToString(name);
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href));
  },
});
