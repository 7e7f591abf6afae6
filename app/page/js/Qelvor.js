/*
 * Catalogue page logic: asks the service for lists of templates (JSONP), shows six per page
 * with thumbnails and download links, the page bar and the detail panel.
 *
 * Everything that comes from the service is put into the page as text or as attribute values
 * through jQuery, never as markup, and every query value is URL-encoded.
 */
var appQelvor = {
    apiName: "GetDecrypt",
    base: "",
    picBase: "",
    pageSize: 6,
    noTemplate: "没有找到相应的模板 :(",
    formats: "WPP, Power Point",

    list: [],       // entries of the list on show
    current: null,  // request recorded on the page bar: {kind, id, sort, keyword, page, pages}
    type: 1,        // type of the marked category tab
    sort: 1,        // marked sort tab
    seq: 0,         // number of the newest request; older answers are dropped
    detailIndex: -1,

    init: function () {
        var u = window.url || {};
        this.base = typeof u.S === "string" ? u.S : "";
        this.picBase = this.base + "moban/";
        $("a.cloud").attr("href", typeof u.cloud === "string" ? u.cloud : "#");
        $("a.more").attr("href", typeof u.more === "string" ? u.more : "#");
        $("#keyword").val("");
        this.bind();
        this.markHot();
        this.getJson("hot", 0, 1, 1, "");
    },

    // The program's request token; "" outside the program or when the call fails.
    token: function () {
        try {
            var v = window.external.clientAPI(this.apiName);
            return typeof v === "string" ? v : "";
        } catch (e) {
            return "";
        }
    },

    address: function (kind, id, sort, page, keyword, date) {
        var e = encodeURIComponent, tail = "&pageNum=" + e(page) + "&pageSize=" + this.pageSize;
        if (kind === "hot") {
            return this.base + "getfwhot.php?searchType=" + e(sort) + tail + "&date=" + e(date) +
                "&jsoncallback=?";
        }
        if (kind === "search") {
            return this.base + "getfw.php?funType=0&searchType=" + e(sort) + tail + "&keyword=" +
                e(keyword) + "&date=" + e(date) + "&jsoncallback=?";
        }
        return this.base + "getfw.php?funType=" + e(id) + "&searchType=" + e(sort) + tail +
            "&date=" + e(date) + "&jsoncallback=?";
    },

    // kind "sub" (id = subcategory), "search" (id 0, keyword) or "hot" (sort = the tab's type).
    getJson: function (kind, id, sort, page, keyword) {
        var self = this, seq = ++this.seq;
        var req = {kind: kind, id: kind === "sub" ? id : 0, sort: sort, keyword: keyword || "",
                   page: page};
        $.ajax({
            url: this.address(kind, req.id, sort, page, req.keyword, this.token()),
            dataType: "jsonp",
            cache: true,
            timeout: 20000,
            success: function (data) {
                if (seq === self.seq) {
                    self.answer(req, data);
                }
            }
            // A failed request leaves the list on show as it is.
        });
    },

    answer: function (req, data) {
        // Anything but {"total": number, "Results": [...]} leaves the page as it is.
        if (!data || typeof data !== "object" || !Array.isArray(data.Results)) {
            return;
        }
        var results = data.Results;
        var total = typeof data.total === "string" && data.total !== "" ? Number(data.total)
                                                                          : data.total;
        if (results.length && (typeof total !== "number" || !isFinite(total))) {
            return;
        }
        this.hideDetail();
        if (!results.length) {
            this.list = [];
            req.pages = 0;
            this.current = req;
            $(".list").empty().append($("<li>").addClass("empty").text(this.noTemplate));
            $(".pages").empty();
            return;
        }
        this.showList(req, results, Math.ceil(Math.max(total, 0) / this.pageSize));
    },

    showList: function (req, results, pages) {
        var $list = $(".list").empty();
        var entries = [];
        for (var i = 0; i < results.length && i < this.pageSize; i++) {
            var it = results[i];
            if (!it || typeof it !== "object") {
                break;
            }
            entries.push(it);
            var name = this.text(it.vaName);
            var $li = $("<li>").attr("data-index", i);
            $("<div>").addClass("thumb")
                .append($("<img>").attr({src: this.pic(it.vaThumbPicPath), alt: name, title: name}))
                .appendTo($li);
            var $info = $("<div>").addClass("info").appendTo($li);
            $("<span>").addClass("name").attr("title", name).text(name).appendTo($info);
            $("<a>").addClass("dl").attr({href: this.pic(it.vaSrcWpsdlPath), title: "下载"})
                .append($("<img>").attr({src: "images/ico-1.png", width: 14, height: 14, alt: ""}))
                .append(document.createTextNode(this.text(it.nDownloadCount)))
                .appendTo($info);
            $list.append($li);
        }
        this.list = entries;
        req.pages = pages;
        this.current = req;
        this.showPages(req.page, pages);
        this.mark(0);
    },

    text: function (v) {
        return v === null || v === undefined ? "" : String(v);
    },

    pic: function (path) {
        return this.picBase + this.text(path);
    },

    // Page bar for page p of t pages.
    showPages: function (p, t) {
        var $bar = $(".pages").empty();
        var link = function (label, page, enabled, on) {
            var $a = $("<a>").attr("href", "javascript:;").text(String(label));
            if (enabled) {
                $a.attr("data-page", page);
            } else {
                $a.addClass("disabled");
            }
            if (on) {
                $a.addClass("on");
            }
            $bar.append($a);
        };
        link("首页", 1, p > 1);
        link("上一页", p - 1, p > 1);
        var first, last;
        if (p > 3) {
            first = p - 2;
            last = Math.min(p + 2, Math.max(t, p));
        } else {
            first = 1;
            last = t < 6 ? t : 6;
        }
        for (var n = first; n <= last; n++) {
            link(n, n, true, n === p);
        }
        link("下一页", p + 1, p < t);
        link("尾页", t, p < t);
    },

    mark: function (i) {
        $(".list li").removeClass("on").eq(i).addClass("on");
    },

    markHot: function () {
        $(".sub a").removeClass("on");
        $(".nav .hot").addClass("on");
    },

    markSort: function (sort) {
        this.sort = sort;
        $(".sort a").removeClass("on").filter("[data-sort='" + sort + "']").addClass("on");
    },

    search: function () {
        var $k = $("#keyword"), kw = $k.val();
        if (!kw) {
            $k.focus();
            return;
        }
        $(".sub a, .nav .hot").removeClass("on");
        this.markSort(1);
        this.getJson("search", 0, 1, 1, kw);
    },

    showDetail: function (i) {
        var it = this.list[i];
        if (!it) {
            return;
        }
        var self = this, shown = ++this.detailSeq;
        this.detailIndex = i;
        this.mark(i);
        var $panel = $(".detail").removeClass("hide");
        var $inner = $panel.find(".inner").empty();
        $("<img>").addClass("loading").attr({src: "images/loading.gif", alt: ""}).appendTo($inner);

        var name = this.text(it.vaName);
        var $body = $("<div>");
        $("<h2>").attr("title", name).text(name).appendTo($body);
        var $pic = $("<div>").addClass("pic").appendTo($body);
        var $big = $("<img>").addClass("big").attr({alt: name}).appendTo($pic);
        $("<a>").addClass("prev").attr({href: "javascript:;", title: "上一个"})
            .toggleClass("disabled", i <= 0).appendTo($pic);
        $("<a>").addClass("next").attr({href: "javascript:;", title: "下一个"})
            .toggleClass("disabled", i >= this.list.length - 1).appendTo($pic);
        var $foot = $("<div>").addClass("foot").appendTo($body);
        $("<a>").addClass("down").attr("href", this.pic(it.vaSrcWpsdlPath)).text("下载模板")
            .appendTo($foot);
        $("<p>")
            .append($("<span>").addClass("meta").text(
                "作者：" + this.text(it.vaAuthor) + "    下载：" + this.text(it.nDownloadCount) +
                "次"))
            .append("<br>")
            .append(document.createTextNode("支持格式：" + this.formats))
            .appendTo($foot);

        // The panel is put in place once its picture is there (or has failed to load).
        var place = function () {
            if (shown === self.detailSeq) {
                $inner.empty().append($body);
            }
        };
        $big.on("load error", place).attr("src", this.pic(it.vaDetailPicPath));
    },
    detailSeq: 0,

    hideDetail: function () {
        ++this.detailSeq;
        this.detailIndex = -1;
        $(".detail").addClass("hide").find(".inner").empty();
    },

    bind: function () {
        var self = this;
        $(".tabs a").on("click", function () {
            var type = parseInt($(this).attr("data-type"), 10);
            self.type = type;
            $(".tabs li").removeClass("on");
            $(this).parent().addClass("on");
            $(".sub").addClass("hide").filter("[data-type='" + type + "']").removeClass("hide");
            self.markHot();
            self.getJson("hot", 0, type, 1, "");
        });
        $(".nav .hot").on("click", function () {
            self.markHot();
            self.getJson("hot", 0, self.type, 1, "");
        });
        $(".sub a").on("click", function () {
            $(".sub a, .nav .hot").removeClass("on");
            $(this).addClass("on");
            self.markSort(1);
            self.getJson("sub", parseInt($(this).attr("data-id"), 10), 1, 1, "");
        });
        $(".search .go").on("click", function () {
            self.search();
        });
        $("#keyword").on("keydown", function (e) {
            if (e.which === 13 && $(this).val()) {
                e.preventDefault();
                self.search();
            }
        });
        $(".sort a").on("click", function () {
            var sort = parseInt($(this).attr("data-sort"), 10);
            if (sort === self.sort) {
                return;
            }
            self.markSort(sort);
            var c = self.current;
            if (c && c.kind !== "hot") {
                self.getJson(c.kind, c.id, sort, 1, c.keyword);
            }
        });
        $(".pages").on("click", "a", function () {
            var page = $(this).attr("data-page"), c = self.current;
            if (page !== undefined && c) {
                self.getJson(c.kind, c.id, c.sort, parseInt(page, 10), c.keyword);
            }
        });
        $(".list").on("click", "li[data-index]", function (e) {
            if ($(e.target).closest(".dl").length) {
                return;
            }
            self.showDetail(parseInt($(this).attr("data-index"), 10));
        });
        $(".detail").on("click", ".prev", function () {
            if (self.detailIndex > 0) {
                self.showDetail(self.detailIndex - 1);
            }
        });
        $(".detail").on("click", ".next", function () {
            if (self.detailIndex >= 0 && self.detailIndex < self.list.length - 1) {
                self.showDetail(self.detailIndex + 1);
            }
        });
        $(".detail .close").on("click", function () {
            self.hideDetail();
        });
    }
};

$(function () {
    appQelvor.init();
});
