/*
 * PNG transparency for very old browsers that draw the alpha channel of PNG images grey.
 * Loaded only by those browsers (conditional comment); DD_belatedPNG.fix(selector) redraws
 * every matching <img> and every element with a PNG background through the browser's
 * alpha image loader, keeping the element's size.
 */
var DD_belatedPNG = {
    loader: "progid:DXImageTransform.Microsoft.AlphaImageLoader",
    blank: "data:image/gif;base64,R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==",

    fix: function (selector) {
        var all = selector === "*" || !selector ? document.getElementsByTagName("*")
                                                 : document.querySelectorAll(selector);
        for (var i = 0; i < all.length; i++) {
            this.fixElement(all[i]);
        }
    },

    fixElement: function (el) {
        if (!el.filters || el.getAttribute("data-pngfixed")) {
            return;
        }
        el.setAttribute("data-pngfixed", "1");
        if (el.tagName === "IMG" && /\.png(\?|$)/i.test(el.src)) {
            var w = el.width, h = el.height;
            el.style.filter = this.loader + "(src='" + el.src + "',sizingMethod='scale')";
            el.src = this.blank;
            el.style.width = w + "px";
            el.style.height = h + "px";
            return;
        }
        var bg = el.currentStyle ? el.currentStyle.backgroundImage : "";
        var m = /url\(["']?([^"')]+\.png)["']?\)/i.exec(bg || "");
        if (m) {
            el.style.backgroundImage = "none";
            el.style.filter = this.loader + "(src='" + m[1] + "',sizingMethod='crop')";
            if (!el.style.zoom) {
                el.style.zoom = 1;  // gives the element layout, which the filter needs
            }
        }
    }
};
